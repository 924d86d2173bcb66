#!/usr/bin/env python3
"""ltp_read_items.py TOOLS_DIR FILE.pst - print every message of every folder as one JSON line,
read with the strict checker's own reader: class, display name, Email1 address and display
name, and for lists the members from the arrays and from PidLidDistributionListStream,
each member as [display name, address type, address, wrapped target NID or null]."""
import json
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from pst_messages import ADDR, ONEOFF, WRAP, messages, ustr  # noqa: E402
from pst_messages import pstwalk as P  # noqa: E402


def member(eid):
    if eid[4:20] == ONEOFF:
        name, o = ustr(eid, 24)
        typ, o = ustr(eid, o)
        addr, o = ustr(eid, o)
        return [name, typ, addr, None]
    if eid[4:20] == WRAP:
        return [None, "wrapped 0x%02X" % eid[20], None, struct.unpack_from("<I", eid, 41)[0]]
    return [None, "unknown", eid.hex(), None]


def stream_members(raw):
    count = struct.unpack_from("<I", raw, 12)[0]
    off, out = 28, []
    for _ in range(count):
        n = struct.unpack_from("<I", raw, off)[0]
        eid = raw[off + 4:off + 4 + n]
        off += 4 + n
        n = struct.unpack_from("<I", raw, off)[0]
        off += 4 + n
        n = struct.unpack_from("<I", raw, off)[0]
        off += 4 + n
        out.append(member(eid))
    return out


def main():
    pst = P.Pst(sys.argv[2])
    names = P.NameMap(pst)
    pid = {v: k for k, v in names.entries.items()}

    def named(props, lid, ptype):
        p = pid.get((ADDR, lid))
        v = None if p is None else props.get((p << 16) | ptype)
        return None if v is None else v[2] if ptype in (0x0102, 0x1102) else v[0]

    for folder_nid, mid in messages(pst):
        props = P.PC(pst.node(mid)).props
        item = {"nid": mid, "folder": folder_nid,
                "class": props.get(0x001A001F, (None,))[0],
                "name": props.get(0x3001001F, (None,))[0],
                "email": named(props, 0x8083, 0x001F),
                "emailDisplay": named(props, 0x8080, 0x001F)}
        members = props.get((pid.get((ADDR, 0x8055), 0) << 16) | 0x1102)
        if members is not None:
            item["members"] = [member(e) for e in members[0]]
        stream = named(props, 0x8064, 0x0102)
        if stream is not None:
            item["stream"] = stream_members(stream)
        print(json.dumps(item, ensure_ascii=False))


if __name__ == "__main__":
    main()
