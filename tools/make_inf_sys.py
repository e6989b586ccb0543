#!/usr/bin/env python3
"""make_inf_sys.py - write a host user file inf.sys, by default the sample's.

The host keeps one 360-byte record per station. The filter reads only two
things from a record: the callsign, a NUL-terminated string at offset 0, and
the language number, one unsigned byte at offset 93 (the language list
langue.sys names it). Every other byte of the records written here is zero.

Without stations it writes the sample host's four; without --output, into
examples/bbs/system/inf.sys of this source tree.
"""
import argparse
import os
import sys

RECORD_SIZE = 360
LANGUAGE_OFFSET = 93

# Callsign and language number (0 ENGLISH, 1 ESPANOL, 2 FRANCAIS in langue.sys).
STATIONS = [
    ("N0SYS", 0),
    ("N0CALL", 0),
    ("N0ESP", 1),
    ("N0OPEN", 0),
]

DEFAULT_OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "bbs", "system",
                              "inf.sys")


def record(callsign, language):
    """record - the 360 bytes of one station."""
    data = bytearray(RECORD_SIZE)
    name = callsign.encode("ascii")
    data[0:len(name)] = name
    data[LANGUAGE_OFFSET] = language
    return bytes(data)


def station(text):
    """station - CALLSIGN or CALLSIGN:LANGUAGE from the command line, as a pair."""
    callsign, _, language = text.partition(":")
    if not callsign or not callsign.isascii() or not callsign.isprintable() or " " in callsign:
        raise argparse.ArgumentTypeError("a callsign is printable ASCII without blanks: %r" % text)
    if len(callsign) >= LANGUAGE_OFFSET:
        raise argparse.ArgumentTypeError("a callsign has fewer than %d characters: %r" % (LANGUAGE_OFFSET, text))
    if not language:
        return callsign, 0
    if not language.isdigit() or int(language) > 255:
        raise argparse.ArgumentTypeError("a language number is 0 to 255: %r" % text)
    return callsign, int(language)


def parse_arguments(argv):
    """parse_arguments - the output path and the stations of the command line."""
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n\n", 1)[1],
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("-o", "--output", default=DEFAULT_OUTPUT,
                        help="the file to write (default: examples/bbs/system/inf.sys of this source tree)")
    parser.add_argument("stations", nargs="*", type=station, metavar="CALLSIGN[:LANGUAGE]",
                        help="a station and its language number (default 0), in the order of the records; "
                             "default: the sample host's stations")
    return parser.parse_args(argv)


def main(argv=None):
    args = parse_arguments(sys.argv[1:] if argv is None else argv)
    stations = args.stations or STATIONS
    try:
        with open(args.output, "wb") as out:
            for callsign, language in stations:
                out.write(record(callsign, language))
    except OSError as error:
        print("make_inf_sys.py: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
