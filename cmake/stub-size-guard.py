#!/usr/bin/env python3
"""Fails the build when the stub grows past its size limit, naming the largest
contributors from the linker map (the stub ships in every installer, so a
dependency that creeps in must be seen where it comes in).
Usage: stub-size-guard.py STUB LIMIT_BYTES LINKER_MAP"""
import collections
import os
import re
import sys

SECTIONS = (".text", ".rdata", ".data", ".eh_frame")


def contributors(map_path):
    sizes = collections.Counter()
    pending = None
    with open(map_path, errors="replace") as lines:
        for line in lines:
            alone = re.match(r"^ (\.[\w$.]+)\s*$", line)
            if alone:
                pending = alone.group(1)
                continue
            full = re.match(r"^ (\.[\w$.]+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+)", line)
            if full:
                section, address, size, origin = full.groups()
            else:
                cont = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+)", line)
                if not cont or not pending:
                    pending = None
                    continue
                address, size, origin = cont.groups()
                section = pending
            pending = None
            if int(address, 16) == 0 or not section.startswith(SECTIONS):
                continue  # discarded by --gc-sections, or not stored in the file
            sizes[re.sub(r".*/", "", origin)] += int(size, 16)
    return sizes


def main():
    stub, limit, map_path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    size = os.path.getsize(stub)
    name = os.path.basename(stub)
    if size <= limit:
        print(f"{name}: {size} bytes, within the limit of {limit}")
        return 0
    print(f"{name}: {size} bytes, over the limit of {limit} bytes by {size - limit}", file=sys.stderr)
    print("largest contributors (code and data, from the linker map):", file=sys.stderr)
    for origin, bytes_ in contributors(map_path).most_common(15):
        print(f"  {bytes_:8d}  {origin}", file=sys.stderr)
    os.remove(stub)  # no oversized stub is left to ship by accident
    return 1


if __name__ == "__main__":
    sys.exit(main())
