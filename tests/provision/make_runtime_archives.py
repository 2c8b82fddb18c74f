#!/usr/bin/env python3
"""Builds runtime-shaped jre.tar.gz archives for the unpacking tests.

A directory tree laid out like a Java runtime home (bin, lib, legal, with the
awkward cases: names longer than 100 bytes, a name of exactly 100 bytes, empty
files and directories, sizes around the 512-byte block and the 32 KiB copy
chunk, a symbolic link) is packed three ways: GNU tar in its own format (long
names as 'L' records), GNU tar in pax format ('x' records) and Python's
tarfile (pax). manifest.tsv lists what unpacking must produce:
  F <size> <crc32 hex> <path>   a regular file
  D - - <path>                  a directory
  L - - <path>                  a link, which must not be unpacked
  Z <archive> <decompressed size> -   one line per archive

usage: make_runtime_archives.py OUTPUT_DIR [--big MEGABYTES]
With --big, only OUTPUT_DIR/jre-big.tar.gz is written: a runtime-sized archive
(one large modules file and a few thousand small files) for the benchmark.
"""
import gzip
import os
import random
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zlib


def deterministic_bytes(rng, size):
    # Compressible like real class files, not all zeros.
    words = [bytes(rng.getrandbits(8) for _ in range(rng.randint(2, 12))) for _ in range(64)]
    out = bytearray()
    while len(out) < size:
        out += words[rng.randrange(len(words))]
    return bytes(out[:size])


def build_tree(root):
    rng = random.Random(20261207)
    files = {}
    dirs = ["bin", "bin/server", "lib", "lib/security", "legal", "legal/java.base", "conf", "conf/empty-dir"]
    long_dir = "legal/java.desktop/" + "/".join(["deeply-nested-directory-%02d" % i for i in range(6)])
    dirs += [long_dir[: i] for i in range(len(long_dir)) if long_dir[i] == "/" and long_dir[:i] not in dirs] + [long_dir]
    sizes = {
        "bin/java.exe": 4096,
        "bin/javaw.exe": 4100,
        "bin/server/jvm.dll": 70001,
        "lib/modules": 300000,
        "lib/security/cacerts": 32768,
        "lib/tzdb.dat": 32769,
        "lib/block-512.bin": 512,
        "lib/block-513.bin": 513,
        "conf/empty.properties": 0,
        "release": 150,
        "legal/java.base/" + "L" * (100 - len("legal/java.base/")): 77,
        long_dir + "/" + "a-file-name-that-is-long-on-its-own-" + "x" * 80 + ".txt": 1234,
    }
    for d in dirs:
        os.makedirs(os.path.join(root, d), exist_ok=True)
    for name, size in sizes.items():
        data = deterministic_bytes(rng, size)
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
        files[name] = data
    os.symlink("java.exe", os.path.join(root, "bin/java-link.exe"))
    return files, dirs, ["bin/java-link.exe"]


def build_big_tree(root, megabytes):
    rng = random.Random(150)
    os.makedirs(os.path.join(root, "lib"))
    total = megabytes * 1024 * 1024
    # A runtime is dominated by its modules file; the rest is many small files.
    small_total = 0
    index = 0
    while small_total < total // 4:
        d = os.path.join(root, "legal" if index % 3 else "lib", "pkg%03d" % (index // 50))
        os.makedirs(d, exist_ok=True)
        size = rng.choice([200, 1500, 9000, 40000])
        with open(os.path.join(d, "file%05d.bin" % index), "wb") as f:
            f.write(rng.randbytes(size // 2) + bytes(size - size // 2))
        small_total += size
        index += 1
    with open(os.path.join(root, "lib", "modules"), "wb") as f:
        left = total - small_total
        while left > 0:
            n = min(left, 1 << 20)
            # Half random, half runs: compresses about as well as real modules.
            f.write(rng.randbytes(n // 2) + bytes(n - n // 2))
            left -= n


def decompressed_size(path):
    with gzip.open(path, "rb") as f:
        n = 0
        while True:
            chunk = f.read(1 << 20)
            if not chunk:
                return n
            n += len(chunk)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="plimo-runtime-")
    try:
        tree = os.path.join(work, "jre")
        os.makedirs(tree)
        if len(sys.argv) > 3 and sys.argv[2] == "--big":
            build_big_tree(tree, int(sys.argv[3]))
            subprocess.run(["tar", "-czf", os.path.join(out, "jre-big.tar.gz"), "-C", tree, "."], check=True)
            return
        files, dirs, links = build_tree(tree)
        archives = {
            "jre-gnutar.tar.gz": ["tar", "--format=gnu", "-czf"],
            "jre-gnupax.tar.gz": ["tar", "--format=posix", "-czf"],
        }
        for name, command in archives.items():
            subprocess.run(command + [os.path.join(out, name), "-C", tree, "."], check=True)
        with tarfile.open(os.path.join(out, "jre-python.tar.gz"), "w:gz") as archive:
            for child in sorted(os.listdir(tree)):
                archive.add(os.path.join(tree, child), arcname=child)
        with open(os.path.join(out, "manifest.tsv"), "w", newline="\n") as manifest:
            for name in sorted(files):
                data = files[name]
                manifest.write("F\t%d\t%08x\t%s\n" % (len(data), zlib.crc32(data) & 0xFFFFFFFF, name))
            for name in sorted(dirs):
                manifest.write("D\t-\t-\t%s\n" % name)
            for name in links:
                manifest.write("L\t-\t-\t%s\n" % name)
            for name in sorted(list(archives) + ["jre-python.tar.gz"]):
                manifest.write("Z\t%s\t%d\t-\n" % (name, decompressed_size(os.path.join(out, name))))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
