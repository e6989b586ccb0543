#!/usr/bin/env python3
"""report_browser.py - filter-report's page of the sample BBS in a real browser.

Headless Chromium (Debian's package "chromium", which tools/setup tests
installs) opens the page from the disk, with its network and every background
service off and a profile of its own, twice:
- its DOM dump must hold what the page is made of, as the browser parsed it:
  every section, and in each chart the elements that stand for the figures
  (a bar piece per day and port, 24 cells per port, a bar per station ...);
- its screenshot of the page in a window taller than the page must show the
  page drawn: a PNG of the window's size whose content (the rows that are not
  the white background) is as tall as a month's page, with the charts' colours.
A page that the browser cannot parse or lay out fails here.

With --guide-picture FILE it also takes the top of the page, as the guide
shows it (docs/report-sample.png).

usage: report_browser.py FILTER_REPORT SAMPLE_DIR [--guide-picture FILE]
"""
import html.parser
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

WINDOW_WIDTH, WINDOW_HEIGHT = 1024, 12000
GUIDE_WIDTH, GUIDE_HEIGHT = 1000, 1500
BROWSER_TIMEOUT = 180
BAR_BLUE = (0x00, 0x72, 0xB2)   # the first port's colour


def browser():
    """browser - Chromium's command, or None."""
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    return None


def run_browser(command, work, args):
    """run_browser - one headless run, with nothing reaching out; its standard output."""
    profile = tempfile.mkdtemp(prefix="profile-", dir=work)
    flags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-extensions",
             "--hide-scrollbars", "--user-data-dir=" + profile]
    done = subprocess.run([command] + flags + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=BROWSER_TIMEOUT, cwd=work)
    return done.stdout.decode("utf-8", "replace")


class Elements(html.parser.HTMLParser):
    """Elements - for each element with an id, the tags inside it (with their class) counted."""

    VOID = {"meta", "br", "img", "input", "link", "hr", "col", "area", "base", "wbr", "source", "line", "rect"}

    def __init__(self):
        super().__init__()
        self.stack = []        # (tag, id or None)
        self.inside = {}       # id -> {"tag" or "tag.class": count}
        self.ids = []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        for _, owner in self.stack:
            if owner:
                counts = self.inside[owner]
                counts[tag] = counts.get(tag, 0) + 1
                if attrs.get("class"):
                    key = tag + "." + attrs["class"]
                    counts[key] = counts.get(key, 0) + 1
        element_id = attrs.get("id")
        if element_id:
            self.ids.append(element_id)
            self.inside[element_id] = {}
        if tag not in self.VOID:
            self.stack.append((tag, element_id))

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag not in self.VOID:
            self.stack.pop()

    def handle_endtag(self, tag):
        for i in range(len(self.stack) - 1, -1, -1):
            if self.stack[i][0] == tag:
                del self.stack[i:]
                break


def unfilter(kind, line, previous, channels):
    """unfilter - undo a PNG row filter in place (Sub, Up, Average, Paeth)."""
    for i in range(len(line)):
        left = line[i - channels] if i >= channels else 0
        up, corner = previous[i], previous[i - channels] if i >= channels else 0
        if kind == 1:
            line[i] = (line[i] + left) & 255
        elif kind == 2:
            line[i] = (line[i] + up) & 255
        elif kind == 3:
            line[i] = (line[i] + (left + up) // 2) & 255
        elif kind == 4:
            p = left + up - corner
            pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
            line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255


def png_rows(data):
    """png_rows - width, height and the rows of RGB(A) pixels of an 8-bit PNG."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    at, idat, width = 8, b"", 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, color = struct.unpack(">IIBB", body[:10])
            if depth != 8 or color not in (2, 6):
                raise ValueError("PNG of depth %d, colour type %d" % (depth, color))
            channels = 3 if color == 2 else 4
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        if kind == 2 and not any(line):
            line = bytearray(previous)          # Up over a row the same as the one above
        elif kind == 1 and not any(line[channels:]):
            line = line[:channels] * width      # Sub over a row of one colour
        elif kind != 0:
            unfilter(kind, line, previous, channels)
        rows.append(bytes(line))
        previous = line
    return width, height, channels, rows


def drawn_height(rows):
    """drawn_height - one past the last row that is not all white."""
    for y in range(len(rows) - 1, -1, -1):
        if rows[y].count(255) != len(rows[y]):
            return y + 1
    return 0


def has_colour(rows, channels, colour):
    """has_colour - some pixel of the picture has this colour (opaque)."""
    needle = bytes(colour) + (b"\xff" if channels == 4 else b"")
    return any(needle in row for row in rows)


def main(argv):
    if len(argv) not in (3, 5) or (len(argv) == 5 and argv[3] != "--guide-picture"):
        print(__doc__.rsplit("usage: ", 1)[1].strip(), file=sys.stderr)
        return 2
    report, sample = os.path.abspath(argv[1]), os.path.abspath(argv[2])
    command = browser()
    if not command:
        print("FAIL: chromium is not installed (tools/setup tests installs it)")
        return 1
    failures = []
    with tempfile.TemporaryDirectory(prefix="report-browser-") as work:
        page = os.path.join(work, "report.html")
        # The page names the directory as given: relative to where this runs, as a sysop would type it.
        made = subprocess.run([report, "--dir", os.path.relpath(sample), "--out", page, "-q"])
        if made.returncode != 0:
            print("FAIL: filter-report ended with %d" % made.returncode)
            return 1
        url = "file://" + page
        dom = run_browser(command, work, ["--dump-dom", url])
        elements = Elements()
        elements.feed(dom)
        want = {
            "period": {}, "connections": {}, "failures": {}, "guard": {}, "one-time-codes": {}, "exposure": {},
            "errors": {},
            "chart-connections-per-day": {"rect.bar": 30},
            "chart-hour-port": {"rect.cell": 24 * 4},
            "chart-top-stations": {"rect.bar": 20},
            "chart-failures-per-day": {"rect.bar": 5},
            "chart-top-failures": {"rect.bar": 2},
            "table-files": {"tr": 8},
            "table-connections-per-day": {"tr": 31},
            "table-hour-port": {"tr": 5},
            "table-top-stations": {"tr": 21},
            "table-lockouts": {"tr": 3},
            "table-one-time": {"tr": 3},
            "table-exposure": {"tr": 7},
            "table-errors": {"tr": 2},
        }
        for element_id, counts in want.items():
            if element_id not in elements.inside:
                failures.append("the browser's DOM has no element %s" % element_id)
                continue
            for key, least in counts.items():
                got = elements.inside[element_id].get(key, 0)
                if got < least:
                    failures.append("%s holds %d %s, at least %d expected" % (element_id, got, key, least))
        order = [i for i in elements.ids if i in ("period", "connections", "failures", "guard", "one-time-codes",
                                                   "errors")]
        if order != ["period", "connections", "failures", "guard", "one-time-codes", "errors"]:
            failures.append("the sections come in the order %s" % order)
        shot = os.path.join(work, "page.png")
        run_browser(command, work, ["--screenshot=" + shot, "--window-size=%d,%d" % (WINDOW_WIDTH, WINDOW_HEIGHT),
                                    url])
        if not os.path.exists(shot):
            failures.append("no screenshot was taken")
        else:
            with open(shot, "rb") as f:
                width, height, channels, rows = png_rows(f.read())
            drawn = drawn_height(rows)
            print("screenshot %dx%d, the page drawn over %d px" % (width, height, drawn))
            if (width, height) != (WINDOW_WIDTH, WINDOW_HEIGHT):
                failures.append("the screenshot is %dx%d, not the window's %dx%d" % (width, height, WINDOW_WIDTH,
                                                                                    WINDOW_HEIGHT))
            if not 3000 <= drawn < WINDOW_HEIGHT - 20:
                failures.append("the page is drawn over %d px: a month's page takes 3000 and more, and less than "
                                "the window" % drawn)
            if not has_colour(rows, channels, BAR_BLUE):
                failures.append("no bar of the first port's colour was drawn")
        if len(argv) == 5:
            run_browser(command, work, ["--screenshot=" + os.path.abspath(argv[4]),
                                        "--window-size=%d,%d" % (GUIDE_WIDTH, GUIDE_HEIGHT), url])
    for failure in failures:
        print("FAIL: " + failure)
    print("%d passed, %d failed" % (1 if not failures else 0, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
