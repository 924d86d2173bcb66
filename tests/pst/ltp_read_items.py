#!/usr/bin/env python3
"""ltp_read_items.py TOOLS_DIR FILE.pst - print every message of every folder as one JSON line,
read with the strict checker's own reader: class, display name, Email1 address and display
name, and for lists the members from the arrays and from PidLidDistributionListStream,
each member as [display name, address type, address, wrapped target NID or null]."""
import json
import struct
import sys

sys.path.insert(0, sys.argv[1])
import pstwalk as P  # noqa: E402

ADDR = "{00062004-0000-0000-C000-000000000046}"
ONEOFF = bytes.fromhex("812b1fa4bea310199d6e00dd010f5402")
WRAP = bytes.fromhex("c091add3519dcf11a4a900aa0047faa4")


def ustr(b, off):
    end = off
    while b[end:end + 2] != b"\0\0":
        end += 2
    return b[off:end].decode("utf-16-le"), end + 2


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

    def walk(nid):
        tc = P.TC(pst.node((nid & ~0x1F) | 0x0E))
        for row in tc.rows():
            mid = row.get(0x67F20003)
            mid = mid[0] if isinstance(mid, tuple) else mid
            props = P.PC(pst.node(mid)).props
            item = {"nid": mid, "folder": nid,
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
        htc = P.TC(pst.node((nid & ~0x1F) | 0x0D))
        for row in htc.rows():
            cid = row.get(0x67F20003)
            cid = cid[0] if isinstance(cid, tuple) else cid
            if cid & 0x1F == 0x02:
                walk(cid)

    walk(0x8022)


if __name__ == "__main__":
    main()
