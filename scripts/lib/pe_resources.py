#!/usr/bin/env python3
"""Reads KestrelSetup.exe's resources on Linux, without Wine.

  pe_resources.py EXE strings N...   one line per number: N, a tab, the
                                     built-in string (BRANDING N, else the
                                     string table), as the installer reads it
  pe_resources.py EXE version        the version resource: NAME=VALUE lines
                                     for its strings, FixedFileVersion and
                                     FixedProductVersion (a.b.c.d)
"""
import struct
import sys

MAX_BRANDING_BYTES = 8192
RT_STRING = 6
RT_VERSION = 16


class PeError(Exception):
    pass


class Pe:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("not an executable (no MZ header)")
        nt = struct.unpack_from("<I", data, 0x3C)[0]
        if data[nt:nt + 4] != b"PE\0\0":
            raise PeError("no PE header")
        sections, optional_size = struct.unpack_from("<2xH12xH2x", data, nt + 4)
        optional = nt + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -1 - optional)
        if directories < optional:
            raise PeError("unknown optional header")
        count = struct.unpack_from("<I", data, directories - 4)[0]
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(min(count, 16))]
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            vsize, va, raw_size, raw = struct.unpack_from("<8xIIII", data, table + 40 * i)
            self.sections.append((va, max(vsize, raw_size), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise PeError("address 0x%x is in no section" % rva)

    def resources(self):
        """{(type, name): bytes} of the first language of each resource."""
        if len(self.directories) < 3 or self.directories[2][0] == 0:
            return {}
        base = self.offset(self.directories[2][0])
        data = self.data

        def entries(directory):
            named, ids = struct.unpack_from("<12xHH", data, base + directory)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
                if key & 0x80000000:
                    at = base + (key & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", data, at)[0]
                    key = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                yield key, target

        found = {}
        for type_key, type_target in entries(0):
            for name_key, name_target in entries(type_target & 0x7FFFFFFF):
                target = name_target
                while target & 0x80000000:
                    target = next(entries(target & 0x7FFFFFFF))[1]
                rva, size = struct.unpack_from("<II", data, base + target)
                at = self.offset(rva)
                found[(type_key, name_key)] = data[at:at + size]
        return found


def builtin_string(resources, number):
    branding = resources.get(("BRANDING", number))
    if branding is not None and len(branding) <= MAX_BRANDING_BYTES:
        return branding[:len(branding) // 2 * 2].decode("utf-16-le").split("\0")[0]
    block = resources.get((RT_STRING, number // 16 + 1))
    if block is None:
        return ""
    at = 0
    for _ in range(number % 16):
        at += 2 + 2 * struct.unpack_from("<H", block, at)[0]
    length = struct.unpack_from("<H", block, at)[0]
    return block[at + 2:at + 2 + 2 * length].decode("utf-16-le")


def version_info(resources):
    block = resources.get((RT_VERSION, 1))
    if block is None:
        raise PeError("no version resource")
    values = {}

    def node(at, depth):
        length, value_length, kind = struct.unpack_from("<HHH", block, at)
        end = at + length
        key_end = at + 6
        while block[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = block[at + 6:key_end].decode("utf-16-le")
        value = (key_end + 2 + 3) & ~3
        value_bytes = value_length * 2 if kind == 1 else value_length
        if depth == 0:
            fixed = struct.unpack_from("<13I", block, value)
            if fixed[0] != 0xFEEF04BD:
                raise PeError("the fixed file information has no signature")
            for name, ms, ls in (("FixedFileVersion", fixed[2], fixed[3]),
                                 ("FixedProductVersion", fixed[4], fixed[5])):
                values[name] = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        elif depth == 3 and kind == 1:
            values[key] = block[value:value + value_bytes].decode("utf-16-le").split("\0")[0]
        child = (value + value_bytes + 3) & ~3
        while child < end:
            child = (node(child, depth + 1) + 3) & ~3
        return end

    node(0, 0)
    return values


def main(argv):
    if len(argv) < 3 or argv[2] not in ("strings", "version"):
        sys.stderr.write(__doc__)
        return 2
    try:
        with open(argv[1], "rb") as f:
            resources = Pe(f.read()).resources()
        if argv[2] == "strings":
            for n in argv[3:]:
                print("%s\t%s" % (n, builtin_string(resources, int(n))))
        else:
            for name, value in sorted(version_info(resources).items()):
                print("%s=%s" % (name, value))
    except (PeError, struct.error, UnicodeDecodeError, OSError) as e:
        sys.stderr.write("%s: %s\n" % (argv[1], e))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
