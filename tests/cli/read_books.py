#!/usr/bin/env python3
"""read_books.py TOOLS_DIR FILE.pst - every message of every folder below the IPM subtree as one
JSON line, read with the strict checker's own reader: its NID, folder name, and its properties
keyed "T3A09" (a tag's property ID) or "A8045" (a PSETID_Address LID). Binary values are hex;
list members are decoded as [wrapper type or null, target NID or null, name, type, address]."""
import json
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from pst_messages import ADDR, WRAP, messages, ustr  # noqa: E402
from pst_messages import pstwalk as P  # noqa: E402


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

    for folder_nid, mid in messages(pst):
        folder = P.PC(pst.node(folder_nid)).props.get(0x3001001F, (None,))[0]
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


if __name__ == "__main__":
    main()
