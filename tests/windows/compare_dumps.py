"""Compares two `tarvelle-verify --dump` documents of exports of the same book, made at different
times by different builds: equal except what each run makes afresh.

usage: compare_dumps.py A.json B.json      (exit 0 when equal; the differences otherwise)

Left out: the store's name (it carries the time of the export) and record key, every time, every
entry ID (binary values that hold the store's record key), each item's search key (a new GUID per
item) and conversation index (which begins with the time).
"""
import json
import sys

FRESH_TAGS = {"0x300B0102", "0x00710102"}  # search key, conversation index


def normalised(path):
    with open(path, encoding="utf-8") as f:
        dump = json.load(f)
    record_key = dump["store"].pop("recordKey", "")
    dump["store"].pop("displayName", None)

    def clean(properties):
        kept = []
        for prop in properties:
            value = prop.get("value")
            if prop.get("type") == "Time" or prop.get("tag") in FRESH_TAGS:
                continue
            if record_key and isinstance(value, str) and record_key in value:
                continue
            kept.append(prop)
        return kept

    for obj in dump.get("folders", []) + dump.get("items", []):
        obj["properties"] = clean(obj.get("properties", []))
        for member in obj.get("members", []):
            if record_key in member.get("entryId", ""):
                member.pop("entryId")
    return dump


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    a, b = (normalised(p) for p in sys.argv[1:])
    if a == b:
        return 0
    for section in ("store", "folders", "items", "summary"):
        if a.get(section) != b.get(section):
            print("differs in %s:" % section)
            x, y = a.get(section), b.get(section)
            if isinstance(x, list) and isinstance(y, list):
                for i, (u, v) in enumerate(zip(x, y)):
                    if u != v:
                        print("  #%d: %s\n   vs %s" % (i, json.dumps(u)[:400], json.dumps(v)[:400]))
                        break
                if len(x) != len(y):
                    print("  %d vs %d entries" % (len(x), len(y)))
            else:
                print("  %s\n   vs %s" % (json.dumps(x)[:400], json.dumps(y)[:400]))
    return 1


if __name__ == "__main__":
    sys.exit(main())
