"""Compares two `tarvelle-verify --dump` documents of exports of the same book, made at different
times by different builds: equal except what each run makes afresh.

usage: compare_dumps.py A.json B.json      (exit 0 when equal; the differences otherwise)

Left out: the store's name (it carries the time of the export), every time, each item's search
key (a new GUID per item) and conversation index (which begins with the time), and a list's
checksum of its members' entry IDs. The store's record key, which every entry ID holds, is
replaced by one placeholder, so the entry IDs are compared too.
"""
import difflib
import json
import sys

FRESH_TAGS = {"0x300B0102", "0x00710102"}  # search key, conversation index
FRESH_LIDS = {"0x804C"}  # checksum of the member entry IDs


def normalised(path):
    with open(path, encoding="utf-8") as f:
        dump = json.load(f)
    record_key = dump["store"].pop("recordKey")
    dump["store"].pop("displayName")
    dump = json.loads(json.dumps(dump).replace(record_key, "<record key>"))
    for obj in dump["folders"] + dump["items"]:
        obj["properties"] = [p for p in obj["properties"] if p["type"] != "Time" and
                             p["tag"] not in FRESH_TAGS and p.get("lid") not in FRESH_LIDS]
    return json.dumps(dump, indent=1, sort_keys=True).splitlines(keepends=True)


if len(sys.argv) != 3:
    sys.exit(__doc__)
a, b = (normalised(p) for p in sys.argv[1:])
sys.stdout.writelines(list(difflib.unified_diff(a, b, *sys.argv[1:]))[:40])
sys.exit(0 if a == b else 1)
