#!/usr/bin/env python3
"""check_version_resource.py VERSION FILE... - the version resource of each
Windows program or DLL, read from the file itself as Explorer reads it: a
VERSIONINFO whose fixed part and whose FileVersion and ProductVersion are
VERSION, ProductName c_filt32, a FileDescription, and an OriginalFilename that
is the file's own name. Prints each file's strings; exits 1 on any fault."""
import os
import struct
import sys

RT_VERSION = 16
FIXED_SIGNATURE = 0xFEEF04BD
REQUIRED = ("FileVersion", "ProductVersion", "ProductName", "FileDescription", "OriginalFilename")


def sections_of(image):
    """The PE file's section table as (rva, size, file offset), and the resource directory's rva."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    count, optional_size = struct.unpack_from("<H", image, pe + 6)[0], struct.unpack_from("<H", image, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva = struct.unpack_from("<I", image, directories + 2 * 8)[0]
    table = []
    for i in range(count):
        at = optional + optional_size + 40 * i
        vsize, rva, raw_size, raw_at = struct.unpack_from("<IIII", image, at + 8)
        table.append((rva, max(vsize, raw_size), raw_at))
    return table, resource_rva


def offset_of(table, rva):
    for start, size, raw_at in table:
        if start <= rva < start + size:
            return raw_at + rva - start
    raise ValueError("address 0x%x is in no section" % rva)


def version_data(image):
    """The bytes of the first RT_VERSION resource."""
    table, resource_rva = sections_of(image)
    if not resource_rva:
        raise ValueError("no resource directory")
    base = offset_of(table, resource_rva)
    entry_offset = None
    directory = base
    for level in range(3):
        named, numbered = struct.unpack_from("<HH", image, directory + 12)
        entries = [struct.unpack_from("<II", image, directory + 16 + 8 * i) for i in range(named + numbered)]
        if level == 0:
            entries = [e for e in entries if e[0] == RT_VERSION]
        if not entries:
            raise ValueError("no version resource")
        entry_offset = entries[0][1]
        if level < 2:
            if not entry_offset & 0x80000000:
                raise ValueError("malformed resource directory")
            directory = base + (entry_offset & 0x7FFFFFFF)
    data_rva, size = struct.unpack_from("<II", image, base + entry_offset)
    at = offset_of(table, data_rva)
    return image[at:at + size]


def align(n):
    return (n + 3) & ~3


def block(data, at):
    """One block of a VERSIONINFO: (key, value bytes, children)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    value_at = align(key_end + 2)
    value = data[value_at:value_at + (value_length * 2 if kind == 1 else value_length)]
    child_at = align(value_at + len(value))
    children = []
    while child_at < end:
        child = block(data, child_at)
        children.append(child)
        child_at = align(child[3])
    return key, value, children, end


def strings_of(root):
    strings = {}
    for key, _, tables, _ in root[2]:
        if key == "StringFileInfo":
            for _, _, entries, _ in tables:
                for name, value, _, _ in entries:
                    strings[name] = value.decode("utf-16-le").rstrip("\0")
    return strings


def check(path, version):
    faults = []
    root = block(version_data(open(path, "rb").read()), 0)
    if root[0] != "VS_VERSION_INFO":
        faults.append("the version resource is named %r" % root[0])
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", root[1], 0)
    parts = [int(p) for p in version.split(".")]
    numbers = ((parts[0] << 16) | parts[1], parts[2] << 16)
    if signature != FIXED_SIGNATURE or (file_ms, file_ls) != numbers or (product_ms, product_ls) != numbers:
        faults.append("the fixed file and product versions are not %s" % version)
    strings = strings_of(root)
    expected = {"FileVersion": version, "ProductVersion": version, "ProductName": "c_filt32",
                "OriginalFilename": os.path.basename(path)}
    for name in REQUIRED:
        value = strings.get(name, "")
        if not value or (name in expected and value.lower() != expected[name].lower()):
            faults.append("%s is %r" % (name, value))
    print("%s: %s" % (os.path.basename(path), ", ".join("%s=%s" % (n, strings.get(n, "")) for n in REQUIRED)))
    return faults


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    status = 0
    for path in sys.argv[2:]:
        try:
            faults = check(path, sys.argv[1])
        except (ValueError, struct.error, OSError) as e:
            faults = [str(e)]
        for fault in faults:
            print("FAIL: %s: %s" % (path, fault))
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
