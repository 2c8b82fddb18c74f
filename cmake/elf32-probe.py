#!/usr/bin/env python3
"""Writes the smallest 32-bit x86 Linux program: it only exits with code 42.

Whether the kernel runs it tells whether 32-bit programs run on this machine
(some kernels have their 32-bit emulation switched off), and so whether
Debian's wine, which starts every Windows program through its 32-bit loader,
can work here. Written by hand so that no 32-bit compiler or library is needed.
Usage: elf32-probe.py OUTPUT
"""
import os
import struct
import sys

# mov eax, 1 (exit); mov ebx, 42; int 0x80
CODE = bytes([0xB8, 1, 0, 0, 0, 0xBB, 42, 0, 0, 0, 0xCD, 0x80])
BASE = 0x08048000
EHSIZE, PHSIZE = 52, 32


def main():
    size = EHSIZE + PHSIZE + len(CODE)
    ident = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8)  # 32-bit, little-endian, SysV
    header = ident + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, BASE + EHSIZE + PHSIZE, EHSIZE, 0, 0,
                                 EHSIZE, PHSIZE, 1, 0, 0, 0)  # executable, i386, one segment
    segment = struct.pack("<IIIIIIII", 1, 0, BASE, BASE, size, size, 5, 0x1000)  # load, r-x
    with open(sys.argv[1], "wb") as out:
        out.write(header + segment + CODE)
    os.chmod(sys.argv[1], 0o755)


if __name__ == "__main__":
    main()
