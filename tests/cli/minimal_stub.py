"""The smallest stub qwpack accepts, for command-line tests that need no
launcher to run."""
import struct


def minimal_stub():
    """A 32-bit PE program of one section, its PE header at 0x88."""
    stub = bytearray(1024)
    stub[0:2] = b"MZ"
    pe = 0x88
    struct.pack_into("<I", stub, 0x3C, pe)
    stub[pe:pe + 4] = b"PE\0\0"
    struct.pack_into("<HHxxxxxxxxxxxxHH", stub, pe + 4, 0x14C, 1, 224, 0x0102)
    optional = pe + 24
    struct.pack_into("<H", stub, optional, 0x10B)
    struct.pack_into("<I", stub, optional + 92, 16)
    section = optional + 224
    stub[section:section + 5] = b".text"
    struct.pack_into("<II", stub, section + 16, 512, 512)
    return bytes(stub)
