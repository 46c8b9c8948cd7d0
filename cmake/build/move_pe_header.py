#!/usr/bin/env python3
"""Moves a PE file's headers to offset 136 or later, so that the package
locator (file offsets 128..135, in the DOS header area) never overlaps them.

GNU ld writes the PE header at 0x80. The headers (signature, file header,
optional header, section table) are shifted within the slack that
SizeOfHeaders leaves behind them, e_lfanew is pointed at the new place, the
bytes they leave behind are zeroed, and the checksum is recomputed when the
file carries one. Nothing else moves: sections keep their file offsets and
addresses. A file whose header lies at 136 or later already is left alone.

It then checks the layout qwpack's resource writer needs to rebuild the
resources in place for a publisher's brand: the resource directory begins
its section, and only the base relocations (which name no address of their
own) follow that section. GNU ld lays launchers out so; a toolchain that
does not fails the build here rather than the publisher's pack. The check
and the checksum are the C++ image code's (image/resource_section.cpp,
image/pe_checksum.cpp) written again for the build: a test holds the two
together on the built launchers and on crafted images.

usage: move_pe_header.py [--report] FILE
  --report  also print the file's size apart from bitmap resource 129
"""
import struct
import sys

LOCATOR_END = 136  # the package locator occupies offsets 128..135
E_LFANEW = 0x3C
PE32, PE32_PLUS = 0x10B, 0x20B
RT_BITMAP = 2
SKIN_BITMAP = 129


class PeError(Exception):
    pass


class Headers:
    """Where a PE file's headers lie."""

    def __init__(self, data):
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise PeError("no DOS header")
        self.start = struct.unpack_from("<I", data, E_LFANEW)[0]
        if data[self.start:self.start + 4] != b"PE\0\0":
            raise PeError("no PE signature at e_lfanew")
        self.sections, = struct.unpack_from("<H", data, self.start + 6)
        optional_size, = struct.unpack_from("<H", data, self.start + 20)
        self.optional = self.start + 24
        self.magic, = struct.unpack_from("<H", data, self.optional)
        if self.magic not in (PE32, PE32_PLUS):
            raise PeError("unknown optional header magic 0x%X" % self.magic)
        self.size_of_headers, = struct.unpack_from("<I", data, self.optional + 60)
        self.checksum_at = self.optional + 64
        directories = self.optional + (96 if self.magic == PE32 else 112)
        self.directory_count, = struct.unpack_from("<I", data, directories - 4)
        self.directories = directories
        self.section_table = self.optional + optional_size
        self.end = self.section_table + 40 * self.sections

    def directory(self, data, index):
        if index >= self.directory_count:
            return 0, 0
        return struct.unpack_from("<II", data, self.directories + 8 * index)

    def section_list(self, data):
        """(virtual address, virtual size, raw offset, raw size) of each section."""
        result = []
        for i in range(self.sections):
            at = self.section_table + 40 * i
            vsize, vaddr, rsize, roffset = struct.unpack_from("<IIII", data, at + 8)
            result.append((vaddr, vsize, roffset, rsize))
        return result

    def file_offset(self, data, rva):
        for vaddr, vsize, roffset, rsize in self.section_list(data):
            if vaddr <= rva < vaddr + max(vsize, rsize):
                return roffset + rva - vaddr
        raise PeError("address 0x%X lies in no section" % rva)


def pe_checksum(data, checksum_at):
    """The optional header's CheckSum: 16-bit one's-complement-style sum of the
    file with the field itself taken as zero, plus the file's length."""
    padded = bytes(data) + (b"\0" if len(data) % 2 else b"")
    total = 0
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
    for (word,) in struct.iter_unpack("<H", bytes(data[checksum_at:checksum_at + 4])):
        total -= word
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def move_pe_header(data, minimum=LOCATOR_END):
    """The file with its headers at `minimum` (rounded up to 8) or later."""
    headers = Headers(data)
    if headers.start >= minimum:
        return bytes(data)
    target = (minimum + 7) & ~7
    shift = target - headers.start
    new_end = headers.end + shift
    if new_end > headers.size_of_headers:
        raise PeError("headers end at %d; %d bytes of slack needed before SizeOfHeaders %d"
                      % (headers.end, shift, headers.size_of_headers))
    if any(data[headers.end:new_end]):
        raise PeError("the bytes behind the section table are in use")
    if headers.directory(data, 11) != (0, 0):
        raise PeError("a bound import table lies among the headers")

    out = bytearray(data)
    out[target:new_end] = data[headers.start:headers.end]
    out[headers.start:target] = bytes(shift)
    struct.pack_into("<I", out, E_LFANEW, target)
    moved = Headers(out)
    if struct.unpack_from("<I", out, moved.checksum_at)[0] != 0:
        struct.pack_into("<I", out, moved.checksum_at, pe_checksum(out, moved.checksum_at))
    return bytes(out)


BASE_RELOCATIONS = 5
MOST_FILE_ALIGNMENT = 0x10000


def is_power_of_two(value):
    return value != 0 and value & (value - 1) == 0


def check_resources_last(data):
    """Raises PeError unless the resources can be rebuilt in place, by the
    rules qwpack's resource writer applies (image/resource_section.cpp): the
    resource directory begins its section, only the base relocations follow
    that section, in memory and in the file, and nothing follows them in
    the file. A program without resources has none to rebuild."""
    headers = Headers(data)
    rva, size = headers.directory(data, 2)
    if not size:
        return
    section_alignment, file_alignment = struct.unpack_from("<II", data, headers.optional + 32)
    if (not is_power_of_two(section_alignment) or not is_power_of_two(file_alignment)
            or file_alignment > MOST_FILE_ALIGNMENT):
        raise PeError("the section or file alignment is not one Windows loads")
    sections = headers.section_list(data)
    holding = [i for i, (vaddr, _, _, rsize) in enumerate(sections) if vaddr <= rva < vaddr + rsize]
    if not holding:
        raise PeError("no section holds the resource directory at 0x%X" % rva)
    resources = holding[0]
    start, _, raw_offset, raw_size = sections[resources]
    if rva != start:
        raise PeError("the resource directory at 0x%X does not begin a section" % rva)
    if raw_offset < max(headers.end, headers.size_of_headers):
        raise PeError("the resource section overlaps the headers")
    relocations, _ = headers.directory(data, BASE_RELOCATIONS)
    end = raw_offset + raw_size
    trailing = None
    for i, (vaddr, _, roffset, rsize) in enumerate(sections):
        if i == resources or vaddr < start:
            continue
        if trailing is not None or vaddr != relocations or roffset != end:
            raise PeError("sections other than the base relocations follow the resources")
        trailing = i
        end += rsize
    for i, (_, _, roffset, rsize) in enumerate(sections):
        if rsize and roffset + rsize > raw_offset and i not in (resources, trailing):
            raise PeError("a section's data lies behind the resources in the file")
    if end != len(data):
        raise PeError("data follows the last section")
    if struct.unpack_from("<I", data, headers.start + 12)[0]:
        raise PeError("a COFF symbol table lies behind the sections")


def resource_size(data, kind, name):
    """Bytes of resource data of type `kind` and numeric name `name`, all languages."""
    headers = Headers(data)
    rva, size = headers.directory(data, 2)
    if not size:
        return 0
    root = headers.file_offset(data, rva)

    def children(directory):
        named, numbered = struct.unpack_from("<HH", data, directory + 12)
        for i in range(named + numbered):
            ident, target = struct.unpack_from("<II", data, directory + 16 + 8 * i)
            yield ident, target

    total = 0
    for type_id, type_target in children(root):
        if type_id != kind or not type_target & 0x80000000:
            continue
        for name_id, name_target in children(root + (type_target & 0x7FFFFFFF)):
            if name_id != name or not name_target & 0x80000000:
                continue
            for _, leaf in children(root + (name_target & 0x7FFFFFFF)):
                _, leaf_size = struct.unpack_from("<II", data, root + leaf)
                total += leaf_size
    return total


def main():
    args = sys.argv[1:]
    report = "--report" in args
    args = [a for a in args if a != "--report"]
    if len(args) != 1:
        sys.exit(__doc__)
    path = args[0]
    with open(path, "rb") as f:
        data = f.read()
    try:
        moved = move_pe_header(data)
    except PeError as error:
        sys.exit("%s: %s" % (path, error))
    if moved != data:
        with open(path, "wb") as f:
            f.write(moved)
    try:
        check_resources_last(moved)
    except PeError as error:
        sys.exit("%s: %s" % (path, error))
    if report:
        skin = resource_size(moved, RT_BITMAP, SKIN_BITMAP)
        print("%s: %d bytes; bitmap 129 %d bytes; code and other resources %d bytes; "
              "PE header at %d" % (path, len(moved), skin, len(moved) - skin,
                                   Headers(moved).start))


if __name__ == "__main__":
    main()
