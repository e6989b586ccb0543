"""wine_drive_c.py - folders on Wine's drive C: for the Windows tests.

A sysop's BBS and the system's temporary folder are on drive C: as a rule,
and a program can treat two folders of one drive otherwise than two of
different drives; so the Windows tests run the programs on folders of drive
C: (Wine's $WINEPREFIX/drive_c, or ~/.wine/drive_c), never only on Z:,
where Wine shows the build machine's own files.
"""
import os
import shutil
import subprocess
import tempfile


def drive_c():
    """drive_c - the build machine's path of Wine's drive C:."""
    prefix = os.environ.get("WINEPREFIX") or os.path.join(os.path.expanduser("~"), ".wine")
    return os.path.join(prefix, "drive_c")


def new_folder(name):
    """new_folder - a new empty folder on drive C: as (build machine path, Windows path)."""
    root = drive_c()
    if not os.path.isdir(root):
        raise SystemExit("no Wine drive C: at %s: give WINEPREFIX a booted prefix (.ci/windows-tests does)" % root)
    path = tempfile.mkdtemp(prefix=name + "-", dir=root)
    return path, "C:\\" + os.path.basename(path)


def remove(path):
    """remove - a folder made by new_folder, with all it holds."""
    shutil.rmtree(path, ignore_errors=True)


def install_programs(bin_dir, into):
    """install_programs - the DLLs and programs of a build, as the zip has them, into a folder."""
    for name in os.listdir(bin_dir):
        if name.lower().endswith((".exe", ".dll")) and not name.lower().startswith("filter_tests"):
            shutil.copy2(os.path.join(bin_dir, name), into)


def run_cmd(wine, folder, command, timeout=120):
    """run_cmd - a command line as a sysop types it in cmd.exe, started in
    folder (a build machine path on drive C:), with no input; its output
    with Windows line ends made plain, standard error included, and its
    exit status (-1 when it did not end in time)."""
    script = os.path.join(folder, "c_filt32-step.cmd")
    with open(script, "w", newline="\r\n") as f:
        f.write("@echo off\n" + command + "\nexit /b %errorlevel%\n")
    env = dict(os.environ, WINEDEBUG="-all")
    try:
        done = subprocess.run([wine, "cmd", "/c", os.path.basename(script)], cwd=folder, env=env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout)
        text, status = done.stdout.decode("utf-8", "replace").replace("\r\n", "\n"), done.returncode
    except subprocess.TimeoutExpired:
        text, status = "(no end after %d s)\n" % timeout, -1
    finally:
        os.remove(script)
    return text, status
