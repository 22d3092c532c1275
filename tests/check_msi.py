#!/usr/bin/env python3
"""Checks a Windows Installer package as a Windows user meets it, under Wine,
in a prefix made for the check:

- `msiexec /i PACKAGE /qn` installs it, with no administrator rights asked
  for, into %LOCALAPPDATA%\\Programs\\Vesk IP Convert\\: the program and the
  three text files, the same bytes as in the zip;
- in a new Command Prompt, `vesk-ip-convert` is found through PATH, and
  converts addresses exactly as the zip's program does;
- the Start menu shortcut "Vesk IP Convert" points at the program;
- "Installed apps" lists it once, with its name, version and publisher;
- UPGRADE, a package of a higher version, installs over it and leaves one
  entry there, of the higher version;
- `msiexec /x UPGRADE /qn` leaves nothing of it: no file, folder, shortcut,
  entry, registry key or PATH entry, while the PATH entry that the user
  had before stays.

    check_msi.py PACKAGE.msi UPGRADE.msi PACKAGE.zip LOADER

LOADER is the Wine loader for the package's processor: /usr/lib/wine/wine64
for x64, /usr/lib/wine/wine for x86 (which tools/setup-wine32.sh makes run
under qemu here). Each failure names what is wrong and exits 1.
"""
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
FILES = ("vesk-ip-convert.exe", "README.txt", "LICENSE.txt", "THIRD-PARTY-NOTICES.txt")
UNINSTALL = r"Software\Microsoft\Windows\CurrentVersion\Uninstall"
# Lines of every kind, for the program found through PATH and the zip's.
INPUT = b"192.168.1.10\r\n300.1.1.1\r\n\r\n  -1.x.0x7f.99999999999\r\n1.2.3.4.5\r\n"


def fail(message):
    sys.exit("%s: %s" % (os.path.basename(sys.argv[1]), message))


class Wine:
    """A prefix of its own, with Wine's server started and stopped by the
    tests' fixture, and no menu entries or browser engines."""

    def __init__(self, loader, folder):
        self.loader = loader
        self.env = dict(os.environ, WINEPREFIX=os.path.join(folder, "prefix"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=")
        self.fixture("setup")
        self.users = glob.glob(os.path.join(self.env["WINEPREFIX"], "drive_c", "users", "*"))

    def fixture(self, action):
        subprocess.run(["sh", os.path.join(HERE, "wine_fixture.sh"), action, self.loader],
                       env=self.env, check=True)

    def run(self, *command, stdin=None):
        return subprocess.run([self.loader, *command], env=self.env, input=stdin,
                              capture_output=True, timeout=600)

    def msiexec(self, *arguments):
        result = self.run("msiexec", *arguments, "/qn")
        if result.returncode != 0:
            fail("msiexec %s ended with %d" % (" ".join(arguments), result.returncode))

    def user_folder(self, *path):
        """The path under the user's profile, whatever the user's name."""
        profile = next(u for u in self.users if os.path.basename(u) != "Public")
        return os.path.join(profile, *path)

    def query(self, key):
        """The values under `key` and its subkeys: {subkey: {name: value}}."""
        result = self.run("reg", "query", key, "/s")
        values, current = {}, None
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            if line.startswith("HKEY_"):
                current = values.setdefault(line.strip(), {})
            elif current is not None and line.strip():
                parts = re.split(r"\s{4}", line.strip(), 2)
                if len(parts) == 3:
                    current[parts[0]] = parts[2]
        return values

    def path(self):
        return self.query(r"HKCU\Environment").get(r"HKEY_CURRENT_USER\Environment", {}).get("PATH", "")

    def installed(self):
        """The entries of "Installed apps" that are ours, by version."""
        entries = {**self.query("HKCU\\" + UNINSTALL), **self.query("HKLM\\" + UNINSTALL)}
        return [entry for entry in entries.values() if entry.get("DisplayName") == "Vesk IP Convert"]


def msi_version(path):
    """The ProductVersion in the package's Property table (msiinfo, of msitools)."""
    table = subprocess.run(["msiinfo", "export", path, "Property"], check=True, text=True,
                           capture_output=True).stdout
    return next(line.split("\t")[1] for line in table.splitlines()
                if line.startswith("ProductVersion\t"))


def shortcut_target(path):
    """The target's local path in a shell link (.lnk): its LinkInfo's
    LocalBasePath, after the header and the item list."""
    with open(path, "rb") as f:
        data = f.read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    offset = 0x4C
    if flags & 1:  # HasLinkTargetIDList
        offset += 2 + struct.unpack_from("<H", data, offset)[0]
    if not flags & 2:  # HasLinkInfo
        fail("the shortcut has no link information")
    base = offset + struct.unpack_from("<I", data, offset + 16)[0]
    return data[base:data.index(b"\0", base)].decode("cp1252")


def check_installed(wine, version, output, files=None):
    """The package of `version` is installed, with the zip's `files` where
    they are given, and its program converts as the zip's did."""
    folder = wine.user_folder("AppData", "Local", "Programs", "Vesk IP Convert")
    if not os.path.isdir(folder) or sorted(os.listdir(folder)) != sorted(FILES):
        fail("the install folder holds %s, not %s"
             % (sorted(os.listdir(folder)) if os.path.isdir(folder) else "nothing", sorted(FILES)))
    for name in FILES if files else ():
        with open(os.path.join(folder, name), "rb") as f:
            if f.read() != files[name]:
                fail("the installed %s is not the zip's" % name)
    found = wine.run("cmd", "/c", "vesk-ip-convert", stdin=INPUT)
    if found.returncode != 0 or found.stdout != output:
        fail("in a new Command Prompt, vesk-ip-convert gave %r (status %d), not the zip's program's %r"
             % (found.stdout[:300], found.returncode, output[:300]))
    link = wine.user_folder("AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                            "Programs", "Vesk IP Convert.lnk")
    if not os.path.isfile(link):
        fail("there is no Start menu shortcut \"Vesk IP Convert\"")
    target = shortcut_target(link)
    if not target.lower().endswith(r"\appdata\local\programs\vesk ip convert\vesk-ip-convert.exe"):
        fail("the shortcut points at %s, not the program" % target)
    entries = wine.installed()
    if len(entries) != 1 or entries[0].get("DisplayVersion") != version or not entries[0].get("Publisher"):
        fail("Installed apps lists %s, not one entry of version %s with its publisher"
             % (entries, version))
    print("  installed %s: the files, found through PATH, the shortcut to %s, one entry of %s"
          % (version, target, entries[0]["Publisher"]))


def check_removed(wine, path_before):
    left = [path for path in (
        wine.user_folder("AppData", "Local", "Programs", "Vesk IP Convert"),
        wine.user_folder("AppData", "Local", "Programs"),
        wine.user_folder("AppData", "Roaming", "Microsoft", "Windows", "Start Menu", "Programs",
                         "Vesk IP Convert.lnk")) if os.path.exists(path)]
    if left:
        fail("uninstalling left %s" % left)
    if wine.installed() or wine.query(r"HKCU\Software\Vesk IP Convert"):
        fail("uninstalling left its entry in Installed apps, or its registry key")
    path = wine.path()
    if "vesk ip convert" in path.lower() or path_before not in path:
        fail("after uninstalling, the user's PATH is %r" % path)
    print("  uninstalled: no file, folder, shortcut, entry or registry key; PATH %r" % path)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    package, upgrade, archive, loader = (os.path.abspath(a) for a in sys.argv[1:])
    versions = [msi_version(p) for p in (package, upgrade)]
    with zipfile.ZipFile(archive) as z:
        files = {os.path.basename(n): z.read(n) for n in z.namelist() if not n.endswith("/")}
    work = tempfile.mkdtemp()
    wine = Wine(loader, work)
    try:
        program = os.path.join(work, "vesk-ip-convert.exe")
        with open(program, "wb") as f:
            f.write(files["vesk-ip-convert.exe"])
        output = wine.run(program, stdin=INPUT).stdout
        # A PATH of the user's own, which the package must keep.
        path_before = r"C:\users\Public\tools"
        wine.run("reg", "add", r"HKCU\Environment", "/v", "PATH", "/d", path_before, "/f")
        wine.msiexec("/i", package)
        check_installed(wine, versions[0], output, files)
        wine.msiexec("/i", upgrade)
        check_installed(wine, versions[1], output)
        installed = wine.user_folder("AppData", "Local", "Programs", "Vesk IP Convert", FILES[0])
        with open(installed, "rb") as f:
            if f.read() == files[FILES[0]]:
                fail("the upgrade left the older program in place")
        wine.msiexec("/x", upgrade)
        check_removed(wine, path_before)
    finally:
        wine.fixture("cleanup")
        shutil.rmtree(work, ignore_errors=True)
    print("%s: installs, upgrades to %s and uninstalls under %s"
          % (os.path.basename(package), versions[1], os.path.basename(loader)))


if __name__ == "__main__":
    main()
