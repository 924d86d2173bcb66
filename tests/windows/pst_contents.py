#!/usr/bin/python3
"""Prints what a PST holds, read with Debian's python3-pypff, in a form that two exports of the
same address book share: folders by name, and for every item its properties (named properties by
property set and name) except those unique to one file or one moment.

usage: /usr/bin/python3 pst_contents.py FILE.pst
"""
import struct
import sys
import uuid

import pypff

# Unique to a file or a moment: times, entry and record keys, search keys, the store's own names
# (which carry the creation time), and distribution-list member entry IDs (they embed the
# store's unique identifier; the one-off members beside them carry the names and addresses),
# the conversation index (it starts with the time) and the entry IDs in the common property set.
VOLATILE_TAGS = {0x0FF9, 0x0FF8, 0x0FFF, 0x300B, 0x0E34, 0x0E38, 0x3007, 0x3008, 0x0039,
                 0x0E06, 0x65E0, 0x65E2, 0x65E3, 0x0FFA, 0x3001, 0x0E09, 0x0E0A, 0x35E0,
                 0x0FF6, 0x0E33, 0x3416, 0x0071}
VOLATILE_NAMED = {("00062004-0000-0000-c000-000000000046", "0x8055"),  # members (entry IDs)
                  ("00062004-0000-0000-c000-000000000046", "0x804C"),  # checksum of those
                  ("00062004-0000-0000-c000-000000000046", "0x8085"),  # email 1 original EID
                  ("00062004-0000-0000-c000-000000000046", "0x8095"),
                  ("00062004-0000-0000-c000-000000000046", "0x80A5"),
                  ("00062008-0000-0000-c000-000000000046", "0x85BD")}


def name_map(f):
    item = f.get_name_to_id_map()
    streams = {}
    for rs in range(item.number_of_record_sets):
        s = item.get_record_set(rs)
        for i in range(s.number_of_entries):
            e = s.get_entry(i)
            streams[e.entry_type] = e.data or b""
    guids = [str(uuid.UUID(bytes_le=streams.get(2, b"")[i:i + 16]))
             for i in range(0, len(streams.get(2, b"")) // 16 * 16, 16)]
    strings = streams.get(4, b"")
    out = {}
    es = streams.get(3, b"")
    for i in range(0, len(es) // 8 * 8, 8):
        dwid, g, idx = struct.unpack_from("<IHH", es, i)
        kind, wguid = g & 1, g >> 1
        guid = {1: "PS_MAPI", 2: "PS_PUBLIC_STRINGS"}.get(wguid)
        if guid is None:
            guid = guids[wguid - 3] if 0 <= wguid - 3 < len(guids) else "?"
        if kind:
            n = struct.unpack_from("<I", strings, dwid)[0]
            name = strings[dwid + 4:dwid + 4 + n].decode("utf-16-le")
        else:
            name = "0x%04X" % dwid
        out[0x8000 + idx] = (guid, name)
    return out


def value(e):
    vt = e.value_type
    if vt == 0x40:
        return None
    if vt in (0x1F, 0x1E):
        return repr(e.data_as_string)
    return (e.data or b"").hex()


def properties(item, names):
    lines = []
    for rs in range(item.number_of_record_sets):
        s = item.get_record_set(rs)
        for i in range(s.number_of_entries):
            e = s.get_entry(i)
            if e.entry_type in VOLATILE_TAGS:
                continue
            if e.entry_type >= 0x8000:
                key = names.get(e.entry_type, ("?", "?"))
                if key in VOLATILE_NAMED:
                    continue
                label = "%s/%s" % key
            else:
                label = "0x%04X" % e.entry_type
            v = value(e)
            if v is not None:
                lines.append("%s:%04X=%s" % (label, e.value_type, v))
    return sorted(lines)


def walk(folder, path, names, out):
    for i in range(folder.number_of_sub_folders):
        sub = folder.get_sub_folder(i)
        sub_path = path + "/" + (sub.name or "")
        out.append("folder %s (%d items)" % (sub_path, sub.number_of_sub_messages))
        for j in range(sub.number_of_sub_messages):
            m = sub.get_sub_message(j)
            out.append("  item %d" % j)
            out.extend("    " + line for line in properties(m, names))
        walk(sub, sub_path, names, out)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    f = pypff.file()
    f.open(sys.argv[1])
    out = []
    walk(f.get_root_folder(), "", name_map(f), out)
    f.close()
    print("\n".join(out))


if __name__ == "__main__":
    main()
