#!/usr/bin/env python3
"""Checks a Windows .zip as a Windows user gets it: one folder that holds the
program, README.txt, LICENSE.txt and THIRD-PARTY-NOTICES.txt; text files
with CR LF line ends; a notice for every library that the linker's map
shows to have given code to the program; and a program that carries its
version resource and its manifest, and is hardened: address-space
randomisation, no execution from data pages, terminal-server aware, a stack
protector, and Windows Vista (6.0) as its oldest version. A 64-bit program
must keep its unwind tables, which Windows needs to walk its stack.

    check_windows_package.py PACKAGE.zip VERSION LINKER_MAP

Needs Debian's python3-pefile. Each failure names what is wrong and exits 1.
"""
import os
import re
import sys
import zipfile

import pefile

NOTICES = "THIRD-PARTY-NOTICES.txt"
FILES = ("vesk-ip-convert.exe", "README.txt", "LICENSE.txt", NOTICES)
README_TOPICS = (b"STARTING THE PROGRAM", b"Explorer", b"DIALOGUE", b"HOW FIELDS ARE READ",
                 b"END OF INPUT", b"Ctrl-Z", b"Ctrl-C", b"EXIT STATUS", b"%ERRORLEVEL%",
                 b"$LASTEXITCODE", b"PowerShell", b"byte-order mark", b"THIRD-PARTY-NOTICES.txt")
# What a Windows user has no use for: Unix signals, manual-page references, devices.
README_UNIX = (b"SIGPIPE", b"SIGHUP", b"atoi(3)", b"rlwrap", b"/dev/", b"Ctrl-D")


def fail(message):
    sys.exit("%s: %s" % (sys.argv[1], message))


def read_layout(path):
    """Returns the archive's files by name, after checking its layout."""
    with zipfile.ZipFile(path) as archive:
        names = [n for n in archive.namelist() if not n.endswith("/")]
        folders = {n.split("/")[0] for n in archive.namelist()}
        if len(folders) != 1:
            fail("the archive has %d entries at its top, not one folder" % len(folders))
        folder = folders.pop()
        want = sorted("%s/%s" % (folder, f) for f in FILES)
        if sorted(names) != want:
            fail("the archive holds %s, not %s" % (sorted(names), want))
        return {f: archive.read("%s/%s" % (folder, f)) for f in FILES}


def check_text(files):
    for name in ("README.txt", "LICENSE.txt", NOTICES):
        text = files[name]
        if not text or text.count(b"\n") != text.count(b"\r\n") or b"\n" not in text:
            fail("%s does not end every line with CR LF" % name)
    for topic in README_TOPICS:
        if topic not in files["README.txt"]:
            fail("README.txt does not cover %s" % topic.decode())
    for unix in README_UNIX:
        if unix in files["README.txt"]:
            fail("README.txt speaks of %s, which Windows users do not have" % unix.decode())


def version_strings(pe):
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return strings


def manifest(pe):
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in resources.entries if resources else []:
        if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            data = kind.directory.entries[0].directory.entries[0].data.struct
            return pe.get_data(data.OffsetToData, data.Size)
    return b""


def check_program(exe, version):
    pe = pefile.PE(data=exe)
    strings = version_strings(pe)
    want = {"ProductName": "Vesk IP Convert", "OriginalFilename": "vesk-ip-convert.exe",
            "FileVersion": version, "ProductVersion": version}
    for key, value in want.items():
        if strings.get(key) != value:
            fail("the program's %s is %r, not %r" % (key, strings.get(key), value))
    for key in ("FileDescription", "LegalCopyright"):
        if not strings.get(key):
            fail("the program has no %s" % key)
    fixed = pe.VS_FIXEDFILEINFO[0]
    numbers = [fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16]
    if ".".join(map(str, numbers)) != version:
        fail("the program's numeric file version is %s, not %s" % (numbers, version))
    text = manifest(pe)
    for part in (b'level="asInvoker"', b"supportedOS"):
        if part not in text:
            fail("the program's manifest lacks %s" % part.decode())
    return strings


HARDENING = {
    "dynamic base (address-space randomisation)": 0x0040,
    "NX compatible": 0x0100,
    "terminal-server aware": 0x8000,
}


def check_hardening(pe):
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    wanted = dict(HARDENING)
    if pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]:
        wanted["high-entropy address space"] = 0x0020
    for name, flag in wanted.items():
        if not flags & flag:
            fail("the program is not marked %s" % name)
    header = pe.OPTIONAL_HEADER
    for what in ("OperatingSystem", "Subsystem"):
        version = (getattr(header, "Major%sVersion" % what), getattr(header, "Minor%sVersion" % what))
        if version != (6, 0):
            fail("the program's %s version is %d.%d, not 6.0" % (what.lower(), *version))
    # The stack protector's handler, linked in only where code calls it.
    if b"*** stack smashing detected ***" not in pe.__data__:
        fail("the program has no stack protector")


def linked_libraries(map_path):
    """The toolchain's archives that gave members to the program, and its
    objects that were loaded whole, by file name, from the linker's map."""
    with open(map_path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    build_dir = os.path.dirname(os.path.abspath(map_path))
    members = re.findall(r"^(\S+\.a)\(", text.split("\nDiscarded input sections")[0], re.M)
    # Objects of link-time optimisation's own making hold the program's code.
    objects = [path for path in re.findall(r"^LOAD (/\S+\.o)$", text, re.M)
               if not path.endswith(".ltrans.o")]
    return sorted({os.path.basename(path) for path in members + objects
                   if os.path.isabs(path) and not path.startswith(build_dir)})


def check_notices(files, map_path):
    """Every library in the map is named on an Archives: line of a section."""
    text = files[NOTICES].decode("utf-8").replace("\r\n", "\n")
    named = set()
    for block in re.findall(r"^Archives:((?:.+\n)+)", text, re.M):
        named.update(block.split())
    linked = linked_libraries(map_path)
    if not linked:
        fail("the linker map %s names no library" % map_path)
    missing = [library for library in linked if library not in named]
    if missing:
        fail("%s has no section for %s, which the program links in" % (NOTICES, ", ".join(missing)))
    return linked


def check_unwind_tables(pe):
    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]:
        return
    sizes = {section.Name.rstrip(b"\0").decode(): section.Misc_VirtualSize for section in pe.sections}
    for name in (".pdata", ".xdata"):
        if not sizes.get(name):
            fail("the 64-bit program has no %s unwind table" % name)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    files = read_layout(sys.argv[1])
    check_text(files)
    linked = check_notices(files, sys.argv[3])
    strings = check_program(files["vesk-ip-convert.exe"], sys.argv[2])
    pe = pefile.PE(data=files["vesk-ip-convert.exe"])
    check_hardening(pe)
    check_unwind_tables(pe)
    print("%s: %s with CR LF; %s %s, asInvoker manifest, hardened; notices for %s"
          % (sys.argv[1], ", ".join(FILES), strings["ProductName"], strings["FileVersion"],
             " ".join(linked)))


if __name__ == "__main__":
    main()
