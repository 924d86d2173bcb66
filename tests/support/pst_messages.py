"""What the test readers of written .pst files share: pstwalk (the strict checker's own reader,
from the tools folder given on their command line), the entry-ID constants, and a walk over every
message of every folder below the IPM subtree."""
import sys

sys.path.insert(0, sys.argv[1])
import pstwalk  # noqa: E402,F401

ADDR = "{00062004-0000-0000-C000-000000000046}"
ONEOFF = bytes.fromhex("812b1fa4bea310199d6e00dd010f5402")
WRAP = bytes.fromhex("c091add3519dcf11a4a900aa0047faa4")
IPM_SUBTREE = 0x8022


def ustr(b, off):
    """A NUL-terminated UTF-16LE text at `off`, and the offset after its terminator."""
    end = off
    while b[end:end + 2] != b"\0\0":
        end += 2
    return b[off:end].decode("utf-16-le"), end + 2


def row_id(row):
    rid = row.get(0x67F20003)
    return rid[0] if isinstance(rid, tuple) else rid


def messages(pst, nid=IPM_SUBTREE):
    """(folder NID, message NID) for every message of the folder and the folders below it."""
    for row in pstwalk.TC(pst.node((nid & ~0x1F) | 0x0E)).rows():
        yield nid, row_id(row)
    for row in pstwalk.TC(pst.node((nid & ~0x1F) | 0x0D)).rows():
        child = row_id(row)
        if child & 0x1F == 0x02:
            yield from messages(pst, child)
