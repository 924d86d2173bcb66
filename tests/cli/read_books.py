#!/usr/bin/env python3
"""read_books.py TOOLS_DIR FILE.pst - every message of every folder below the IPM subtree as one
JSON line, read with the strict checker's own reader: its NID, folder name, and its properties
keyed "T3A09" (a tag's property ID) or "A8045" (a PSETID_Address LID). Binary values are hex;
list members are decoded as [wrapper type or null, target NID or null, name, type, address]."""
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


def member(eid, oneoff):
    name, o = ustr(oneoff, 24)
    typ, o = ustr(oneoff, o)
    addr, o = ustr(oneoff, o)
    if eid[4:20] == WRAP:
        return [eid[20], struct.unpack_from("<I", eid, 41)[0], name, typ, addr]
    return [None, None, name, typ, addr]


def jsonable(v):
    if isinstance(v, bytes):
        return v.hex().upper()
    if isinstance(v, list):
        return [jsonable(x) for x in v]
    if isinstance(v, (str, int, float, bool)) or v is None:
        return v
    return str(v)


def main():
    pst = P.Pst(sys.argv[2])
    names = P.NameMap(pst)

    def key(pid):
        if pid < 0x8000:
            return "T%04X" % pid
        g, lid = names.entries.get(pid, (None, None))
        if g == ADDR and isinstance(lid, int):
            return "A%04X" % lid
        return None

    def walk(nid):
        folder = P.PC(pst.node(nid)).props.get(0x3001001F, (None,))[0]
        tc = P.TC(pst.node((nid & ~0x1F) | 0x0E))
        for row in tc.rows():
            mid = row.get(0x67F20003)
            mid = mid[0] if isinstance(mid, tuple) else mid
            props = {}
            for tag, (value, _, _) in P.PC(pst.node(mid)).props.items():
                k = key(tag >> 16)
                if k is not None:
                    props[k] = jsonable(value)
            item = {"nid": mid, "folder": folder, "props": props}
            if "A8055" in props:
                item["members"] = [member(bytes.fromhex(e), bytes.fromhex(o))
                                   for e, o in zip(props["A8055"], props["A8054"])]
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
