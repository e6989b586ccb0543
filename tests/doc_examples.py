#!/usr/bin/env python3
"""doc_examples.py - run the examples of the sysop's guide and compare their
output with the text the guide shows.

An example is the code block (indented or fenced) that follows a line
"<!-- example -->". In it, a line starting with "$ " is a command (a line
ending in a backslash goes on the next line); the lines after it, up to the
next command, are what it prints, standard error included. Each example runs
in a fresh directory holding a copy of the sample host as examples/bbs and
the host simulator and the sysop's tools in build-demo/tools/, its commands one after the
other, so a command sees what the earlier ones left.

A page gives a command for each system in sections of its own, between
"<!-- windows -->" and "<!-- /windows -->", "<!-- linux -->" and
"<!-- /linux -->"; the packages' pages keep their own system's sections
only (cmake/md_links.lua). The examples of Windows sections are run by
--windows: each in a fresh folder on Wine's drive C:, laid out as the
unpacked zip (the programs and DLLs of a build, the sample as sample\),
each command, a line starting with "> ", through cmd.exe as a sysop types
it. A Linux command ("$ ", build-demo/) outside a Linux section of a page
the packages ship fails, so that a Windows sysop never reads one.

--read-me-first runs the commands of READ-ME-FIRST.txt (its indented lines
that start a tool, filter-*.exe) under Wine the same way, in the unpacked
zip's layout, with its folder C:\BBS a copy of the sample on drive C:;
each must run (an exit status other than 100, the tools' usage and loading
failure) and print something.

The comparison forgives what cannot repeat:
- times (21:30:05, 21:30:05,27) and dates (08-12-2026) match any others;
- "..." in an expected line matches any text, and a line "..." any lines;
- "<!-- example: vary PREFIX... -->" lets an expected line that starts with
  one of the prefixes match any line starting with the same prefix: for
  challenges, whose positions and digits are drawn at random.

A code block that runs a program of build-demo/tools/ without the mark
fails, so that every example of the simulator and the tools is tried.

usage: doc_examples.py FILTER_HOST SAMPLE_DIR PAGE.md...
       doc_examples.py --windows WINE BIN_DIR SAMPLE_DIR PAGE.md...
       doc_examples.py --read-me-first WINE BIN_DIR SAMPLE_DIR READ-ME-FIRST.txt
"""
import difflib
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_drive_c  # noqa: E402

MARK = re.compile(r"^<!--\s*example(?::\s*vary\s+(.*?))?\s*-->\s*$")
SECTION = re.compile(r"^<!--\s*(/?)(windows|linux)\s*-->\s*$")
# The pages the packages ship, where a Linux command must stand in a Linux section.
SHIPPED = ("guide.md", "files.md", "access-methods.md", "errors.md", "security.md", "tools.md")
LINUX_COMMAND = re.compile(r"^\$ |build-demo/|^(cp|sed|printf|ls) ")
WINDOWS_TOOL = re.compile(r"\bfilter-[a-z]+\.exe\b")
TOOLS = "build-demo/tools"
SIMULATOR = TOOLS + "/filter-host"
TOOL_NAMES = ("filter-host", "filter-check", "filter-explain", "filter-compare", "filter-otp", "filter-report")
TIME = re.compile(r"\b\d\d:\d\d:\d\d(,\d\d)?\b")
DATE = re.compile(r"\b\d\d-\d\d-\d\d\d\d\b")
COMMAND_TIMEOUT = 60


class Example:
    def __init__(self, page, line, vary):
        self.page = page
        self.line = line
        self.vary = vary
        self.steps = []  # (command, expected lines)


def code_blocks(lines):
    """code_blocks - (first line number, block lines, line of the mark or None,
    system of the section or None) for each code block."""
    i = 0
    mark = None
    section = None
    while i < len(lines):
        text = lines[i]
        found = SECTION.match(text.strip())
        if found:
            section = None if found.group(1) else found.group(2)
            mark = None
            i += 1
            continue
        if MARK.match(text.strip()):
            mark = i
            i += 1
            continue
        if text.startswith("```"):
            start = i + 1
            i += 1
            while i < len(lines) and not lines[i].startswith("```"):
                i += 1
            yield start + 1, lines[start:i], mark, section
            mark = None
            i += 1
            continue
        if text.startswith("    ") and (i == 0 or not lines[i - 1].strip()):
            start = i
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                i += 1
            block = [line[4:] for line in lines[start:i]]
            while block and not block[-1].strip():
                block.pop()
            yield start + 1, block, mark, section
            mark = None
            continue
        if text.strip():
            mark = None
        i += 1


def read_examples(page, failures, system="linux"):
    """read_examples - the marked examples of a page for one system; unmarked
    tool runs, and Linux commands where a Windows sysop would read them, go to failures."""
    with open(page, encoding="utf-8") as f:
        lines = f.read().splitlines()
    examples = []
    name = os.path.join(os.path.basename(os.path.dirname(os.path.abspath(page))), os.path.basename(page))
    prompt = "> " if system == "windows" else "$ "
    for first, block, mark, section in code_blocks(lines):
        if system == "linux" and section != "linux" and os.path.basename(page) in SHIPPED:
            for n, l in enumerate(block):
                if LINUX_COMMAND.search(l):
                    failures.append("%s:%d: a Linux command outside a <!-- linux --> section: %s" %
                                    (name, first + n, l))
        if section not in (None, system):
            continue
        if system == "windows":
            runs_tool = section == "windows" and any(WINDOWS_TOOL.search(l) for l in block if l.startswith("> "))
        else:
            runs_tool = any(l.lstrip("$ ").startswith(TOOLS + "/") for l in block)
        if mark is None or (system == "windows" and section != "windows"):
            if runs_tool and mark is None:
                failures.append("%s:%d: an example of a tool without <!-- example -->" % (name, first))
            continue
        vary = shlex.split(MARK.match(lines[mark].strip()).group(1) or "")
        example = Example(name, first, vary)
        pending = None
        for text in block:
            if pending is not None:
                pending += "\n" + text
            elif text.startswith(prompt):
                pending = text[2:]
            elif example.steps:
                example.steps[-1][1].append(text)
                continue
            else:
                failures.append("%s:%d: an example must start with a command (\"$ \")" % (name, first))
                break
            if pending.endswith("\\") and system == "linux":
                continue   # the shell joins the lines at the backslash
            example.steps.append((pending, []))
            pending = None
        examples.append(example)
    return examples


def normalize(line):
    """normalize - a line with its times and dates made equal to any others, without trailing blanks."""
    return DATE.sub("<date>", TIME.sub("<time>", line.rstrip()))


def line_pattern(expected, vary):
    """line_pattern - the regular expression an output line must match for this expected line."""
    for prefix in vary:
        if expected.startswith(prefix):
            return re.escape(normalize(prefix)) + ".*"
    return ".*".join(re.escape(part) for part in normalize(expected).split("..."))


def matches(expected, actual, vary):
    """matches - whether the output lines fit the expected lines."""
    pattern = []
    for line in expected:
        if line.strip() == "...":
            pattern.append(r"(?:[^\n]*\n)*?")
        else:
            pattern.append(line_pattern(line, vary) + r"\n")
    text = "".join(normalize(line) + "\n" for line in actual)
    return re.fullmatch("".join(pattern), text) is not None


def run_example(example, host, sample):
    """run_example - None when every command printed what the page shows, else a report."""
    with tempfile.TemporaryDirectory(prefix="doc-example-") as work:
        shutil.copytree(sample, os.path.join(work, "examples", "bbs"), symlinks=True)
        os.makedirs(os.path.join(work, TOOLS))
        # The sysop's tools are built beside the simulator, where they are built at all.
        for tool in TOOL_NAMES:
            built = os.path.join(os.path.dirname(os.path.abspath(host)), tool)
            if os.path.exists(built):
                os.symlink(built, os.path.join(work, TOOLS, tool))
        env = dict(os.environ, TMPDIR="/tmp", LC_ALL="C")
        for command, expected in example.steps:
            try:
                done = subprocess.run(["sh", "-c", command], cwd=work, env=env, stdout=subprocess.PIPE,
                                      stderr=subprocess.STDOUT, timeout=COMMAND_TIMEOUT)
                actual = done.stdout.decode("utf-8", "replace").splitlines()
            except subprocess.TimeoutExpired:
                actual = ["(no end after %d s)" % COMMAND_TIMEOUT]
            while expected and not expected[-1].strip():
                expected = expected[:-1]
            while actual and not actual[-1].strip():
                actual.pop()
            if not matches(expected, actual, example.vary):
                diff = difflib.unified_diff(expected, actual, "shown", "printed", lineterm="")
                return "$ %s\n%s" % (command, "\n".join(diff))
    return None


def compare(example, command, expected, actual):
    """compare - None when the output fits what the page shows, else a report."""
    while expected and not expected[-1].strip():
        expected = expected[:-1]
    while actual and not actual[-1].strip():
        actual.pop()
    if matches(expected, actual, example.vary):
        return None
    diff = difflib.unified_diff(expected, actual, "shown", "printed", lineterm="")
    return "> %s\n%s" % (command, "\n".join(diff))


def zip_layout(bin_dir, sample):
    """zip_layout - a fresh folder on drive C: laid out as the unpacked zip: (its path, its Windows path)."""
    folder, windows = wine_drive_c.new_folder("c_filt32-example")
    wine_drive_c.install_programs(bin_dir, folder)
    shutil.copytree(sample, os.path.join(folder, "sample"))
    return folder, windows


def run_windows_example(example, wine, bin_dir, sample):
    """run_windows_example - None when every command printed what the page shows under Wine, else a report."""
    folder, _ = zip_layout(bin_dir, sample)
    try:
        for command, expected in example.steps:
            text, _ = wine_drive_c.run_cmd(wine, folder, command)
            report = compare(example, command, expected, text.splitlines())
            if report:
                return report
    finally:
        wine_drive_c.remove(folder)
    return None


def read_me_first_commands(path):
    """read_me_first_commands - the indented lines of READ-ME-FIRST that start a tool."""
    with open(path, encoding="utf-8", newline=None) as f:
        return [l.strip() for l in f.read().splitlines() if l.startswith("    ") and WINDOWS_TOOL.match(l.strip())]


def run_read_me_first(wine, bin_dir, sample, path):
    """run_read_me_first - each command of READ-ME-FIRST in the unpacked zip's layout, C:\\BBS a copy of the sample."""
    commands = read_me_first_commands(path)
    failures = [] if commands else ["%s shows no command of a tool" % path]
    folder, _ = zip_layout(bin_dir, sample)
    bbs, bbs_windows = wine_drive_c.new_folder("c_filt32-bbs")
    try:
        shutil.rmtree(bbs)
        shutil.copytree(sample, bbs)
        for command in commands:
            text, status = wine_drive_c.run_cmd(wine, folder, command.replace("C:\\BBS", bbs_windows))
            if status in (100, -1) or not text.strip():
                failures.append("%s (status %d):\n%s" % (command, status, text))
            else:
                print("ok:   %s (status %d)" % (command, status))
    finally:
        wine_drive_c.remove(folder)
        wine_drive_c.remove(bbs)
    for failure in failures:
        print("FAIL: %s" % failure)
    print("%d passed, %d failed" % (len(commands) - len(failures), len(failures)))
    return 0 if not failures else 1


def main(argv):
    windows = len(argv) > 1 and argv[1] in ("--windows", "--read-me-first")
    if len(argv) < (6 if windows else 4):
        print(__doc__.rsplit("usage: ", 1)[1].strip(), file=sys.stderr)
        return 2
    if argv[1] == "--read-me-first":
        return run_read_me_first(argv[2], argv[3], argv[4], argv[5])
    if windows:
        wine, bin_dir, sample, pages = argv[2], argv[3], argv[4], argv[5:]
    else:
        host, sample, pages = argv[1], argv[2], argv[3:]
    failures = []
    examples = [e for page in pages for e in read_examples(page, failures, "windows" if windows else "linux")]
    passed = 0
    for example in examples:
        where = "%s:%d" % (example.page, example.line)
        if windows:
            report = run_windows_example(example, wine, bin_dir, sample)
        else:
            report = run_example(example, host, sample)
        if report is None:
            passed += 1
            print("ok:   %s" % where)
        else:
            failures.append("%s:\n%s" % (where, report))
    for failure in failures:
        print("FAIL: %s" % failure)
    print("%d passed, %d failed" % (passed, len(failures)))
    return 0 if examples and not failures else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
