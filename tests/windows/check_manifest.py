#!/usr/bin/env python3
"""Finds the application manifest in a Windows executable's resources and checks it.

usage: check_manifest.py PROGRAM.exe x86|amd64 dpi-aware|plain

Reads the PE resource directory with the standard library only: exactly one resource of type 24
(RT_MANIFEST), with identifier 1 and language 1033; XML whose lines are separated by a carriage
return alone, none empty; every processorArchitecture matching the executable's machine type;
the dependency on version 6 of the common controls; the per-monitor DPI settings in the wizard's
(dpi-aware) and in no other.
"""
import struct
import sys
import xml.etree.ElementTree as ET

MACHINES = {"x86": 0x14C, "amd64": 0x8664}
CONTROLS = {"name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
            "publicKeyToken": "6595b64144ccf1df", "language": "*"}


def manifests(data):
    """(machine type, [(id, language, bytes)] of every RT_MANIFEST resource)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE executable")
    machine, nsections = struct.unpack_from("<HH", data, pe + 4)
    opt = pe + 24
    dirs = opt + {0x10B: 96, 0x20B: 112}[struct.unpack_from("<H", data, opt)[0]]
    table = opt + struct.unpack_from("<H", data, pe + 20)[0]
    sections = [(va, max(vsize, rsize), raw) for vsize, va, rsize, raw in
                (struct.unpack_from("<8xIIII", data, table + 40 * i) for i in range(nsections))]

    def offset(rva):
        return next(raw + rva - va for va, size, raw in sections if va <= rva < va + size)

    def entries(at):  # [(id, target offset)] of the resource directory at `at` (ids only)
        named, ids = struct.unpack_from("<HH", data, base + at + 12)
        return [struct.unpack_from("<II", data, base + at + 16 + 8 * i) for i in range(named + ids)]

    base = offset(struct.unpack_from("<I", data, dirs + 16)[0])
    found = []
    for kind, types in entries(0):
        if kind != 24:
            continue
        for name, languages in entries(types & 0x7FFFFFFF):
            for language, leaf in entries(languages & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                found.append((name, language, data[offset(rva):offset(rva) + size]))
    return machine, found


def check(path, arch, dpi_aware):
    with open(path, "rb") as f:
        machine, found = manifests(f.read())
    if machine != MACHINES[arch]:
        return ["machine type 0x%x, expected 0x%x for %s" % (machine, MACHINES[arch], arch)]
    if [(name, language) for name, language, _ in found] != [(1, 1033)]:
        return ["manifest resources %r, expected one of id 1, language 1033" % found]
    text = found[0][2]
    errors = []
    if b"\n" in text or b"" in text.split(b"\r"):
        errors.append("manifest lines must be separated by one CR alone:\n%r" % text)
    root = ET.fromstring(text)
    if root.tag != "{urn:schemas-microsoft-com:asm.v1}assembly":
        errors.append("the root element is not an asm.v1 assembly")
    identities = [e for e in root.iter() if e.tag.endswith("}assemblyIdentity")]
    if {i.get("processorArchitecture") for i in identities} != {arch}:
        errors.append("processorArchitecture other than %s: %r" % (arch, identities))
    if not any(CONTROLS.items() <= i.attrib.items() for i in identities):
        errors.append("no dependency on %r" % CONTROLS)
    dpi = [e.text for e in root.iter() if e.tag.endswith("}dpiAwareness")]
    if dpi != (["PerMonitorV2,PerMonitor"] if dpi_aware else []):
        errors.append("dpiAwareness %r in a program %s" % (dpi, "aware" if dpi_aware else "not"))
    return errors


if len(sys.argv) != 4 or sys.argv[2] not in MACHINES or sys.argv[3] not in ("dpi-aware", "plain"):
    sys.exit(__doc__)
try:
    errors = check(sys.argv[1], sys.argv[2], sys.argv[3] == "dpi-aware")
except (ValueError, KeyError, StopIteration, struct.error, ET.ParseError) as e:
    errors = ["%s: %r" % (sys.argv[1], e)]
print("\n".join("FAIL: " + e for e in errors) or "%s: its manifest is well formed" % sys.argv[1])
sys.exit(1 if errors else 0)
