#!/usr/bin/env python3
"""qr_codes.py - the QR codes of filter-otp read back by a QR reader.

filter-otp new draws the key URI as a QR code in the terminal and, with
--svg, as a picture. Here a QR reader (zbarimg, Debian's zbar-tools) must
read back exactly the URI the tool printed from each:
- the terminal code, drawn into a picture cell by cell as a terminal shows
  it, with the colours its ANSI codes set, once on a light terminal (black
  text on white) and once on a dark one (white on black); its quiet zone of
  four modules must be there all round;
- the SVG file, drawn by rsvg-convert (librsvg2-bin).
On Windows (--wine) filter-otp.exe runs under Wine from a folder of drive C:,
as a sysop runs it in cmd.exe, beside the DLLs of its build.

usage: qr_codes.py FILTER_OTP SAMPLE_DIR
       qr_codes.py --wine WINE BIN_DIR SAMPLE_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_drive_c  # noqa: E402

SECRET = "JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP"
PIXELS = 6          # a module's side in the picture
QUIET_ZONE = 4
SGR = re.compile(r"\x1b\[([0-9;]*)m")
# The greys a terminal of the usual palette shows for the colour codes used.
GREYS = {0: 0, 7: 229, 15: 255}
HALVES = {" ": (False, False), "\u2580": (True, False), "\u2584": (False, True), "\u2588": (True, True)}


def colour(code, fg, bg):
    """colour - the foreground and background grey after one SGR code."""
    if code == 0:
        return None, None
    if 30 <= code <= 37:
        return GREYS.get(code - 30, 128), bg
    if 90 <= code <= 97:
        return GREYS.get(code - 90 + 8, 192), bg
    if 40 <= code <= 47:
        return fg, GREYS.get(code - 40, 128)
    if 100 <= code <= 107:
        return fg, GREYS.get(code - 100 + 8, 192)
    return fg, bg


def terminal_rows(lines, theme_fg, theme_bg):
    """terminal_rows - the grey of each module row, as a terminal of that theme shows the lines."""
    rows = []
    for line in lines:
        fg, bg = theme_fg, theme_bg
        top, bottom = [], []
        at = 0
        for m in SGR.finditer(line + "\x1b[m"):
            for ch in line[at:m.start()]:
                upper, lower = HALVES[ch]
                top.append(fg if upper else bg)
                bottom.append(fg if lower else bg)
            for code in [int(c) if c else 0 for c in m.group(1).split(";")]:
                fg, bg = colour(code, fg, bg)
                fg = theme_fg if fg is None else fg
                bg = theme_bg if bg is None else bg
            at = m.end()
        rows += [top, bottom]
    return rows


def write_pgm(path, rows, margin_grey):
    """write_pgm - the module rows as a grey picture, inside a margin of the terminal's background."""
    width = max(len(r) for r in rows) + 4
    grid = [[margin_grey] * width for _ in range(2)]
    grid += [[margin_grey] * 2 + r + [margin_grey] * (width - 2 - len(r)) for r in rows]
    grid += [[margin_grey] * width for _ in range(2)]
    data = bytearray()
    for r in grid:
        line = bytearray()
        for g in r:
            line += bytes([g]) * PIXELS
        data += bytes(line) * PIXELS
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (width * PIXELS, len(grid) * PIXELS))
        f.write(bytes(data))


def read_code(picture):
    """read_code - what the QR reader reads in a picture; "" when nothing."""
    done = subprocess.run(["zbarimg", "--quiet", "--raw", picture], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL)
    return done.stdout.decode("utf-8", "replace").strip()


def quiet_zone_fault(rows):
    """quiet_zone_fault - "" when four light modules surround the code, else what is wrong."""
    light = max(max(r) for r in rows)
    size = len(rows[0])
    zone = [r for r in rows[:QUIET_ZONE]] + [r for r in rows[-QUIET_ZONE:]]
    if any(g != light for r in zone for g in r):
        return "the rows above or below the code are not all light"
    if any(len(r) != size or set(r[:QUIET_ZONE] + r[-QUIET_ZONE:]) != {light} for r in rows if r):
        return "the columns left or right of the code are not all light"
    return ""


def run_tool(argv):
    """run_tool - (text printed, SVG file path) of filter-otp new on a copy of the sample."""
    svg_name = "code.svg"
    arguments = "--dir bbs new N0TOTP-0 --secret %s --svg %s" % (SECRET, svg_name)
    if argv[1] == "--wine":
        wine, bin_dir, sample = argv[2:5]
        work, _ = wine_drive_c.new_folder("c_filt32-qr")
        wine_drive_c.install_programs(bin_dir, work)
        shutil.copytree(sample, os.path.join(work, "bbs"))
        text, _ = wine_drive_c.run_cmd(wine, work, "filter-otp.exe " + arguments)
    else:
        tool, sample = os.path.abspath(argv[1]), argv[2]
        work = tempfile.mkdtemp(prefix="c_filt32-qr-")
        shutil.copytree(sample, os.path.join(work, "bbs"))
        done = subprocess.run([tool] + arguments.split(), cwd=work, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT)
        text = done.stdout.decode("utf-8", "replace")
    return work, text, os.path.join(work, svg_name)


def main(argv):
    if len(argv) < 3 or (argv[1] == "--wine" and len(argv) < 5):
        print(__doc__.rsplit("usage: ", 1)[1].strip(), file=sys.stderr)
        return 2
    work, text, svg = run_tool(argv)
    failures = []
    try:
        uris = [l for l in text.splitlines() if l.startswith("otpauth://")]
        pictures = [l for l in text.splitlines() if "\x1b[" in l or "\u2588" in l]
        if len(uris) != 1 or not pictures:
            failures.append("no URI or no terminal code in what filter-otp printed:\n" + text)
        else:
            uri = uris[0]
            for theme, fg, bg in (("a light terminal", 0, 255), ("a dark terminal", 255, 0)):
                rows = terminal_rows(pictures, fg, bg)
                fault = quiet_zone_fault(rows)
                if fault:
                    failures.append("the terminal code on %s: %s" % (theme, fault))
                picture = os.path.join(work, "terminal.pgm")
                write_pgm(picture, rows, bg)
                got = read_code(picture)
                if got != uri:
                    failures.append("the terminal code on %s reads %r, not %r" % (theme, got, uri))
                else:
                    print("ok:   the terminal code on %s reads the URI" % theme)
            png = os.path.join(work, "svg.png")
            drawn = subprocess.run(["rsvg-convert", "-o", png, svg], stderr=subprocess.PIPE)
            got = read_code(png) if drawn.returncode == 0 else ""
            if got != uri:
                failures.append("the SVG code reads %r, not %r" % (got, uri))
            else:
                print("ok:   the SVG code reads the URI")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAIL: %s" % failure)
    print("%d passed, %d failed" % (3 - len(failures) if len(failures) <= 3 else 0, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
