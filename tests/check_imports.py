#!/usr/bin/env python3
"""Checks the imports of built Windows programs and libraries, 32-bit and 64-bit.

- Every library in the load-time import table must be on the allowed list (case-blind).
- Every delay-load descriptor (the Delay Import Directory, or where the linker leaves that entry
  empty, the descriptors its symbol table names) must name a library and functions, and each of
  its slots must hold the address of a stub inside the image's code: a slot left 0 is a call to
  address 0 at the first use.
- Every __imp_ slot the symbol table names must lie in a load-time or a delay-load table.
- With --delay-loads, each named library must be among the delay-loaded ones.

A stripped file's symbols are read from the debug file its debug link names (.gnu_debuglink: the
file's name, beside it, and its CRC-32, which must match).

check_imports.py --allowed A.dll,B.dll [--delay-loads C.dll,...] FILE...
Prints one line per file; exit 1 with one line per fault.
"""
import argparse
import os
import struct
import sys
import zlib


class PeImage:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError("not a PE file")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        (self.machine, nsections, _, self.symtab, self.nsymbols, optsize, _) = struct.unpack_from("<HHIIIHH", d, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", d, opt)[0]
        self.wide = magic == 0x20B
        self.ptr = 8 if self.wide else 4
        self.base = struct.unpack_from("<Q", d, opt + 24)[0] if self.wide else struct.unpack_from("<I", d, opt + 28)[0]
        dirs = opt + (112 if self.wide else 96)
        self.dirs = [struct.unpack_from("<II", d, dirs + 8 * i) for i in range(16)]
        self.path = path
        self.sections = []
        for i in range(nsections):
            s = opt + optsize + 40 * i
            name = d[s:s + 8].rstrip(b"\0").decode("latin-1")
            if name.startswith("/") and name[1:].isdigit() and self.symtab:
                # A long name: its offset in the string table, which follows the symbol table.
                start = self.symtab + 18 * self.nsymbols + int(name[1:])
                name = d[start:d.find(b"\0", start)].decode("latin-1")
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", d, s + 8)
            flags = struct.unpack_from("<I", d, s + 36)[0]
            self.sections.append((name, va, max(vsize, rawsize), rawptr, rawsize, flags))

    def offset(self, rva):
        for _, va, size, rawptr, rawsize, _ in self.sections:
            if va <= rva < va + size:
                return rawptr + (rva - va) if rva - va < rawsize else None
        return None

    def u32(self, rva):
        off = self.offset(rva)
        return None if off is None else struct.unpack_from("<I", self.data, off)[0]

    def pointer(self, rva):
        off = self.offset(rva)
        if off is None:
            return None
        return struct.unpack_from("<Q" if self.wide else "<I", self.data, off)[0]

    def text(self, rva):
        off = self.offset(rva)
        if off is None:
            return None
        end = self.data.find(b"\0", off)
        return self.data[off:end].decode("latin-1")

    def section_of(self, rva):
        return next((name for name, va, size, _, _, _ in self.sections if va <= rva < va + size), None)

    def executable(self, rva):
        return any(va <= rva < va + size and flags & 0x20000000 for _, va, size, _, _, flags in self.sections)

    def debug_file(self):
        """The file the debug link names, beside this one; None without a debug link.
        Raises ValueError when that file is missing or is not the one linked (another CRC)."""
        link = next(((rawptr, rawsize) for name, _, _, rawptr, rawsize, _ in self.sections
                     if name == ".gnu_debuglink"), None)
        if link is None:
            return None
        rawptr, rawsize = link
        raw = self.data[rawptr:rawptr + rawsize]
        end = raw.find(b"\0")
        name = raw[:end].decode("latin-1")
        crc = struct.unpack_from("<I", raw, (end + 4) & ~3)[0]
        path = os.path.join(os.path.dirname(self.path), name)
        try:
            with open(path, "rb") as f:
                actual = zlib.crc32(f.read())
        except OSError:
            raise ValueError(f"stripped, and its debug file {name} is missing")
        if actual != crc:
            raise ValueError(f"stripped, and its debug file {name} is not the one linked (CRC {actual:#010x}, link {crc:#010x})")
        return PeImage(path)

    def symbols(self):
        """(name, rva) of the COFF symbol table's symbols that lie in a section; those of the
        debug file when the image is stripped."""
        if not self.nsymbols:
            debug = self.debug_file()
            return debug.symbols() if debug else []
        d = self.data
        strings = self.symtab + 18 * self.nsymbols
        out = []
        i = 0
        while i < self.nsymbols:
            rec = self.symtab + 18 * i
            raw = d[rec:rec + 8]
            if raw[:4] == b"\0\0\0\0":
                start = strings + struct.unpack_from("<I", raw, 4)[0]
                name = d[start:d.find(b"\0", start)].decode("latin-1")
            else:
                name = raw.rstrip(b"\0").decode("latin-1")
            value, section, _, _, naux = struct.unpack_from("<IhHBB", d, rec + 8)
            if 0 < section <= len(self.sections):
                out.append((name, self.sections[section - 1][1] + value))
            i += 1 + naux
        return out


def check(path, allowed, delay_required):
    img = PeImage(path)
    faults = []
    tables = []  # (first slot rva, end rva) of every import address table

    loaded = []
    rva, _ = img.dirs[1]
    while rva:
        first_thunk = img.u32(rva + 16)
        name_rva = img.u32(rva + 12)
        if not name_rva:
            break
        name = img.text(name_rva)
        loaded.append(name)
        if name.lower() not in allowed:
            faults.append(f"{path} imports {name} at load time")
        end = first_thunk
        while img.pointer(end):
            end += img.ptr
        tables.append((first_thunk, end))
        rva += 20

    descriptors = []
    symbols = img.symbols()
    rva, size = img.dirs[13]
    if rva:
        while img.u32(rva + 4):
            descriptors.append(rva)
            rva += 32
    else:
        descriptors = [r for n, r in symbols if "DELAY_IMPORT_DESCRIPTOR_" in n]
        if not descriptors and not symbols:
            faults.append(f"{path}: no Delay Import Directory and no symbol table to find delay-load descriptors")

    delayed = {}
    for desc in descriptors:
        attrs, name_ref, _, iat_ref, int_ref = struct.unpack_from("<IIIII", img.data, img.offset(desc))
        # Attribute bit 0: the fields are image-relative; else they are addresses.
        fix = (lambda v: v) if attrs & 1 else (lambda v: v - img.base)
        name = img.text(fix(name_ref)) or "?"
        iat, names, functions = fix(iat_ref), fix(int_ref), []
        while True:
            entry = img.pointer(names)
            if not entry:
                break
            ordinal_flag = 1 << (63 if img.wide else 31)
            function = f"#{entry & 0xFFFF}" if entry & ordinal_flag else img.text(fix(entry) + 2)
            functions.append(function)
            slot = img.pointer(iat)
            if not slot or not img.executable(slot - img.base):
                faults.append(f"{path}: the delay-load slot of {name}!{function} holds {slot or 0:#x}, not a stub")
            names += img.ptr
            iat += img.ptr
        tables.append((fix(iat_ref), iat))
        delayed.setdefault(name.lower(), (name, []))[1].extend(functions)
        if not functions:
            faults.append(f"{path}: the delay-load descriptor of {name} names no function")

    # The C runtime keeps __imp_ pointers of its own in its data: only the import sections' count.
    import_sections = {img.section_of(start) for start, _ in tables}
    for sym, rva in symbols:
        if (sym.startswith("__imp_") and img.section_of(rva) in import_sections
                and not any(start <= rva < end for start, end in tables)):
            faults.append(f"{path}: the import slot {sym} lies in no import table (a call through it goes to address 0)")
    for lib in delay_required:
        if lib.lower() not in delayed:
            faults.append(f"{path} does not delay-load {lib}")

    summary = ", ".join(f"{n} ({len(f)})" for n, f in delayed.values())
    print(f"{path}: load time: {', '.join(loaded) or '-'}; delay-loaded: {summary or '-'}")
    return faults


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--allowed", required=True)
    parser.add_argument("--delay-loads", default="")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    allowed = {a.lower() for a in args.allowed.split(",") if a}
    required = [a for a in args.delay_loads.split(",") if a]
    faults = []
    for path in args.files:
        try:
            faults += check(path, allowed, required)
        except (OSError, ValueError, struct.error) as e:
            faults.append(f"{path}: {e}")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
