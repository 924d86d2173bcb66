#!/usr/bin/env python3
"""Finds the application manifest in a Windows executable's resources and checks it.

usage: check_manifest.py PROGRAM.exe x86|amd64 [dpi-aware]

Reads the PE resource directory with the standard library only: exactly one resource of type 24
(RT_MANIFEST), with identifier 1 and language 1033; its XML lines separated by a carriage return
alone; the assembly, its identity and the common-controls dependency with the expected values,
processorArchitecture matching the executable's machine type; with dpi-aware (the wizard) the
per-monitor DPI settings too.
"""
import struct
import sys
import xml.etree.ElementTree as ET

RT_MANIFEST = 24
MACHINES = {"x86": 0x14C, "amd64": 0x8664}
NS = "{urn:schemas-microsoft-com:asm.v1}"
DPI_SETTINGS = [
    '<application xmlns="urn:schemas-microsoft-com:asm.v3">',
    "<windowsSettings>",
    '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>',
    '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">'
    "PerMonitorV2,PerMonitor</dpiAwareness>",
    "</windowsSettings>",
    "</application>",
]


class PeError(Exception):
    pass


def read_pe(data):
    """(machine, sections, resource_rva) of a PE image."""
    if data[:2] != b"MZ":
        raise PeError("not an MZ executable")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE signature")
    machine, nsections = struct.unpack_from("<HH", data, pe + 4)
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + {0x10B: 96, 0x20B: 112}.get(magic, -1)
    if dirs < opt:
        raise PeError("unknown optional header magic 0x%x" % magic)
    resource_rva, resource_size = struct.unpack_from("<II", data, dirs + 2 * 8)
    sections = []
    table = opt + opt_size
    for i in range(nsections):
        _, vsize, va, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
        sections.append((va, max(vsize, raw_size), raw_ptr))
    return machine, sections, resource_rva if resource_size else 0


def rva_to_offset(sections, rva):
    for va, size, raw in sections:
        if va <= rva < va + size:
            return raw + rva - va
    raise PeError("RVA 0x%x outside every section" % rva)


def directory_entries(data, base, offset):
    """[(id or name, is_directory, target offset)] of one resource directory."""
    named, ids = struct.unpack_from("<HH", data, base + offset + 12)
    entries = []
    for i in range(named + ids):
        name, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * i)
        if name & 0x80000000:
            at = base + (name & 0x7FFFFFFF)
            length = struct.unpack_from("<H", data, at)[0]
            key = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        else:
            key = name
        entries.append((key, bool(target & 0x80000000), target & 0x7FFFFFFF))
    return entries


def manifests(data):
    """[(id, language, bytes)] of every RT_MANIFEST resource."""
    machine, sections, rva = read_pe(data)
    found = []
    if not rva:
        return machine, found
    base = rva_to_offset(sections, rva)
    for type_key, type_dir, type_off in directory_entries(data, base, 0):
        if type_key != RT_MANIFEST or not type_dir:
            continue
        for id_key, id_dir, id_off in directory_entries(data, base, type_off):
            if not id_dir:
                raise PeError("manifest %r has no language level" % (id_key,))
            for lang_key, lang_dir, lang_off in directory_entries(data, base, id_off):
                if lang_dir:
                    raise PeError("unexpected fourth resource level")
                data_rva, size = struct.unpack_from("<II", data, base + lang_off)
                start = rva_to_offset(sections, data_rva)
                found.append((id_key, lang_key, data[start:start + size]))
    return machine, found


def expected_lines(arch, dpi_aware=False):
    return [
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>',
        '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">',
        '<assemblyIdentity name="Tarvelle.Tarvelle" processorArchitecture="%s" '
        'version="1.0.0.0" type="win32"/>' % arch,
        "<description></description>",
        "<dependency>",
        "<dependentAssembly>",
        '<assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" '
        'version="6.0.0.0" processorArchitecture="%s" publicKeyToken="6595b64144ccf1df" '
        'language="*"/>' % arch,
        "</dependentAssembly>",
        "</dependency>",
    ] + (DPI_SETTINGS if dpi_aware else []) + ["</assembly>"]


def check(path, arch, dpi_aware=False):
    errors = []
    with open(path, "rb") as f:
        data = f.read()
    machine, found = manifests(data)
    if machine != MACHINES[arch]:
        errors.append("machine type 0x%x, expected 0x%x for %s" % (machine, MACHINES[arch], arch))
    if len(found) != 1:
        errors.append("%d manifest resources, expected exactly 1" % len(found))
        return errors
    res_id, lang, text = found[0]
    if res_id != 1:
        errors.append("manifest id %r, expected 1" % (res_id,))
    if lang != 1033:
        errors.append("manifest language %r, expected 1033" % (lang,))
    if b"\n" in text:
        errors.append("manifest holds line feeds; lines must be separated by CR alone")
    lines = text.decode("utf-8").split("\r")
    if lines != expected_lines(arch, dpi_aware):
        errors.append("manifest text differs:\n" + "\n".join(repr(l) for l in lines))
    root = ET.fromstring(text)
    identities = [root.find(NS + "assemblyIdentity"),
                  root.find("%sdependency/%sdependentAssembly/%sassemblyIdentity" % (NS, NS, NS))]
    if root.tag != NS + "assembly" or root.get("manifestVersion") != "1.0":
        errors.append("root element is not an asm.v1 assembly of manifestVersion 1.0")
    if any(i is None for i in identities):
        errors.append("assemblyIdentity elements missing")
    else:
        own, controls = identities
        if (own.get("processorArchitecture"), own.get("version"), own.get("type")) != (
                arch, "1.0.0.0", "win32"):
            errors.append("own assemblyIdentity: %r" % own.attrib)
        if controls.attrib != {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                               "version": "6.0.0.0", "processorArchitecture": arch,
                               "publicKeyToken": "6595b64144ccf1df", "language": "*"}:
            errors.append("common-controls assemblyIdentity: %r" % controls.attrib)
    if not errors:
        print("%s: manifest id %d, language %d, %d lines separated by CR, "
              "processorArchitecture %s, Common-Controls 6.0.0.0" %
              (path, res_id, lang, len(lines), arch))
    return errors


def main():
    if len(sys.argv) not in (3, 4) or sys.argv[2] not in MACHINES or sys.argv[3:] not in (
            [], ["dpi-aware"]):
        sys.exit(__doc__)
    try:
        errors = check(sys.argv[1], sys.argv[2], sys.argv[3:] == ["dpi-aware"])
    except (PeError, struct.error, ET.ParseError, UnicodeDecodeError) as e:
        errors = ["%s: %s" % (sys.argv[1], e)]
    for e in errors:
        print("FAIL: " + e)
    sys.exit(1 if errors else 0)


if __name__ == "__main__":
    main()
