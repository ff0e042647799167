#!/usr/bin/env python3
"""Checks that the manifest of each built Windows program names the program's own architecture.

A program binds to the common-controls assembly of the architecture its manifest names: a 64-bit
program whose manifest says x86 gets a 32-bit comctl32.dll wherever one is installed and cannot
create a single control (64-bit Windows refuses to start it at all). Every processorArchitecture in
the manifest, the identity's and each dependency's, must be the one of the image's machine type.

check_manifest.py [--require FILE]... FILE...
Prints one line per file; exit 1 with one line per fault. A file named by --require must carry a
manifest; others may have none.
"""
import argparse
import re
import sys

from check_imports import PeImage

ARCH = {0x14C: "x86", 0x8664: "amd64"}
RT_MANIFEST = 24


def resource_manifests(image):
    """The data of every RT_MANIFEST resource of the image."""
    root_rva, root_size = image.dirs[2]
    if not root_rva or not root_size:
        return []

    def entries(rva):
        base = image.offset(rva)
        if base is None:
            return []
        named, ids = (int.from_bytes(image.data[base + 12 + 2 * i:base + 14 + 2 * i], "little") for i in range(2))
        out = []
        for i in range(named + ids):
            e = base + 16 + 8 * i
            ident = int.from_bytes(image.data[e:e + 4], "little")
            target = int.from_bytes(image.data[e + 4:e + 8], "little")
            out.append((ident, target))
        return out

    found = []
    for ident, target in entries(root_rva):
        if ident != RT_MANIFEST or not target & 0x80000000:
            continue
        for _, names in entries(root_rva + (target & 0x7FFFFFFF)):
            for _, leaf in entries(root_rva + (names & 0x7FFFFFFF)):
                if leaf & 0x80000000:
                    continue
                off = image.offset(root_rva + leaf)
                data_rva = int.from_bytes(image.data[off:off + 4], "little")
                size = int.from_bytes(image.data[off + 4:off + 8], "little")
                start = image.offset(data_rva)
                found.append(image.data[start:start + size].decode("utf-8", "replace"))
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--require", action="append", default=[])
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    faults = []
    for path in args.files + args.require:
        image = PeImage(path)
        want = ARCH.get(image.machine, hex(image.machine))
        manifests = resource_manifests(image)
        if not manifests:
            if path in args.require:
                faults.append(f"{path}: no manifest")
            continue
        for text in manifests:
            named = re.findall(r'processorArchitecture\s*=\s*"([^"]*)"', text)
            if not named:
                faults.append(f"{path}: its manifest names no processorArchitecture")
            for arch in named:
                if arch.lower() != want:
                    faults.append(f"{path}: its manifest names processorArchitecture \"{arch}\" in a {want} image")
        print(f"{path}: {want}, {len(manifests)} manifest(s)")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
