#!/usr/bin/env python3
"""Marks classes of a type library (MSFT format, as widl writes it) as application objects with a
predeclared instance (TYPEFLAG_FPREDECLID), for which IDL has no attribute that widl knows.
    predeclare.py LIBRARY.tlb CLASS-GUID...
Standard library only; the file is changed in place, and an unknown class is an error."""
import struct
import sys
import uuid

TYPEFLAG_FPREDECLID = 0x08
TKIND_COCLASS = 5


def main(path, guids):
    data = bytearray(open(path, "rb").read())
    if data[:4] != b"MSFT":
        sys.exit(f"{path}: not a type library")
    varflags, = struct.unpack_from("<i", data, 0x14)
    count, = struct.unpack_from("<i", data, 0x20)
    offsets_at = 0x54 + (4 if varflags & 0x100 else 0)
    offsets = struct.unpack_from(f"<{count}i", data, offsets_at)
    segments_at = offsets_at + 4 * count
    typeinfo_segment, = struct.unpack_from("<i", data, segments_at)       # the first segment
    guid_segment, = struct.unpack_from("<i", data, segments_at + 5 * 16)  # the sixth
    wanted = {uuid.UUID(g).bytes_le for g in guids}
    for offset in offsets:
        base = typeinfo_segment + offset
        typekind, = struct.unpack_from("<i", data, base)
        posguid, flags = struct.unpack_from("<ii", data, base + 0x2C)
        if typekind & 0xF != TKIND_COCLASS or posguid < 0:
            continue
        guid = bytes(data[guid_segment + posguid:guid_segment + posguid + 16])
        if guid in wanted:
            struct.pack_into("<i", data, base + 0x30, flags | TYPEFLAG_FPREDECLID)
            wanted.discard(guid)
    if wanted:
        sys.exit(f"{path}: no class {', '.join(str(uuid.UUID(bytes_le=g)) for g in wanted)}")
    open(path, "wb").write(data)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
