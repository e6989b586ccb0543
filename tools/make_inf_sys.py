#!/usr/bin/env python3
"""make_inf_sys.py - write the sample host's user file examples/bbs/system/inf.sys.

The host keeps one 360-byte record per station. The filter reads only two
things from a record: the callsign, a NUL-terminated string at offset 0, and
the language number, one unsigned byte at offset 93 (the language list
langue.sys names it). Every other byte of the sample records is zero.

usage: tools/make_inf_sys.py [OUTPUT]   (default: examples/bbs/system/inf.sys)
"""
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


def record(callsign, language):
    data = bytearray(RECORD_SIZE)
    name = callsign.encode("ascii")
    data[0:len(name)] = name
    data[LANGUAGE_OFFSET] = language
    return bytes(data)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "examples/bbs/system/inf.sys"
    with open(path, "wb") as out:
        for callsign, language in STATIONS:
            out.write(record(callsign, language))


if __name__ == "__main__":
    main()
