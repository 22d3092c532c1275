#!/usr/bin/env python3
"""Makes a release of Vesk IP Convert, in dist/VERSION/, from a clean checkout.

    tools/release.py [--sign KEY] [--base-url URL] [--allow-unsecured]

Builds every package, each in a folder of its own under build-release/,
made anew, with the tests left out: four .debs, four static tarballs, two
RPMs, two zips and two MSIs. Then the source tarball, made from the commit
alone; RELEASE-NOTES.md, from the changelog's newest entry; with --base-url
(where the files will be downloaded from), the manifests for winget and
Scoop, checked against their schemas in packaging/schemas/; and SHA256SUMS,
in sha256sum's format, for every file. With --sign KEY, a minisign secret
key file, also SHA256SUMS.minisig. Last, it lists what it made, with each
file's size.

It refuses a tree with changes, since a release must be its commit and
nothing else, and a machine on which a package that the programs are
linked from was installed without the security suite (see
tools/apt-install.sh), since the programs would hold its code.
--allow-unsecured goes on even so, for CI's trial of the command, and says
so in the release notes, so that such a folder is not published.

Needs what CI's release stage needs; it runs the same builds as the stages
that make each package.
"""
import argparse
import gzip
import hashlib
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tarfile

import jsonschema
import yaml

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRESETS = ["default", "linux-arm64", "linux-armhf", "linux-i386", "static-amd64", "static-arm64",
           "static-armhf", "static-i386", "windows-x86", "windows-x64"]
# The Debian packages whose code the programs are linked with: the C
# libraries and their start files, libgcc and libstdc++ (their headers and
# static parts), and the mingw-w64 runtime, for this machine's architecture,
# another's (:ARCH) or a cross compiler's (-ARCH-cross).
LINKED_FROM = re.compile(r"^(libc6-dev|musl-dev|libgcc-\d+-dev|libstdc\+\+-\d+-dev|mingw-w64-\S+"
                         r"|gcc-mingw-w64-\S+)(-[a-z0-9]+-cross)?(:[a-z0-9]+)?$")
WINGET_ID = "Vesk.IPConvert"
DESCRIPTION = "Converts dotted IPv4 addresses into their encoded 32-bit value"


def run(*command, **options):
    return subprocess.run(command, cwd=ROOT, check=True, text=True, capture_output=True,
                          **options).stdout


def refuse(why):
    sys.exit("release: " + why)


def check_machine(allow_unsecured):
    """Returns the packages that the programs are linked from and that were
    installed without the security suite, after refusing if there are any
    and they are not allowed."""
    if run("git", "status", "--porcelain", "--untracked-files=normal").strip():
        refuse("the tree has changes (git status); a release is made from a clean checkout")
    record = run(os.path.join(ROOT, "tools", "apt-install.sh"), "--without-security")
    unsecured = [line.split()[0] for line in record.splitlines()
                 if LINKED_FROM.match(line.split()[0])]
    if unsecured and not allow_unsecured:
        refuse("these packages, which the programs are linked from, were installed without the "
               "security suite: %s; upgrade them from it first" % " ".join(unsecured))
    return unsecured


def build_packages(dist):
    """Builds each preset's packages from scratch and copies them to `dist`."""
    for preset in PRESETS:
        folder = os.path.join(ROOT, "build-release", preset)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        with open(folder + ".log", "w", encoding="utf-8") as log:
            for command in (["cmake", "--preset", preset, "-B", folder, "-DBUILD_TESTING=OFF",
                             "-DVESK_BUILD_BENCHMARKS=OFF"],
                            ["cmake", "--build", folder, "--target", "packages"]):
                if subprocess.run(command, cwd=ROOT, stdout=log, stderr=subprocess.STDOUT).returncode:
                    log.close()
                    with open(folder + ".log", encoding="utf-8") as failed:
                        sys.stdout.write("".join(failed.readlines()[-40:]))
                    refuse("the %s build failed; its log is %s.log" % (preset, folder))
        for name in sorted(os.listdir(os.path.join(folder, "packages"))):
            shutil.copy(os.path.join(folder, "packages", name), dist)


def make_source_tarball(dist, version, epoch):
    """One folder, vesk-ip-convert-VERSION, with every tracked file as the
    commit has it, and .source-date-epoch, the commit's time, which the
    packages take their time stamps from where there is no git. Entries in
    a fixed order, owned by root, with their times the commit's."""
    folder = "vesk-ip-convert-" + version
    files = {}
    for entry in run("git", "ls-files", "--stage", "-z").split("\0"):
        if entry:
            mode, _, _, path = entry.split(None, 3)
            files[path] = 0o755 if mode == "100755" else 0o644
    folders = set()  # every folder above a file
    for path in files:
        while os.path.dirname(path):
            path = os.path.dirname(path)
            folders.add(path)

    def entry(name, mode, size=0, kind=tarfile.REGTYPE):
        info = tarfile.TarInfo(os.path.join(folder, name).rstrip("/"))
        info.mode, info.size, info.type, info.mtime = mode, size, kind, epoch
        info.uid = info.gid = 0
        info.uname = info.gname = "root"
        return info

    name = folder + ".tar.gz"
    with open(os.path.join(dist, name), "wb") as raw, \
            gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=epoch) as zipped, \
            tarfile.open(fileobj=zipped, mode="w", format=tarfile.USTAR_FORMAT) as archive:
        archive.addfile(entry("", 0o755, kind=tarfile.DIRTYPE))
        for path in sorted(folders):
            archive.addfile(entry(path, 0o755, kind=tarfile.DIRTYPE))
        stamp = ("%d\n" % epoch).encode()
        archive.addfile(entry(".source-date-epoch", 0o644, len(stamp)), io.BytesIO(stamp))
        for path in sorted(files):
            with open(os.path.join(ROOT, path), "rb") as f:
                archive.addfile(entry(path, files[path], os.fstat(f.fileno()).st_size), f)


def release_notes(dist, version, unsecured):
    """RELEASE-NOTES.md: the changelog's newest entry, and how to check the files."""
    with open(os.path.join(ROOT, "packaging", "changelog.in"), encoding="utf-8") as f:
        entry = f.read().split("\n -- ", 1)
    date = entry[1].split("  ", 1)[1].split("\n")[0].rsplit(" ", 2)[0]
    changes = re.sub(r"\n {4}", " ", entry[0].split("\n", 1)[1].strip())
    lines = ["# Vesk IP Convert %s" % version, "", date, ""]
    lines += ["- " + change.strip() for change in changes.split("* ") if change.strip()]
    if unsecured:
        lines += ["", "**NOT FOR PUBLISHING**: built after these packages were installed "
                  "without the security suite: %s." % " ".join(unsecured)]
    lines += ["", "Check the downloads with `sha256sum -c SHA256SUMS`, and the sums with",
              "`minisign -Vm SHA256SUMS -p vesk-ip-convert.pub` where they are signed.", ""]
    with open(os.path.join(dist, "RELEASE-NOTES.md"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def msi_property(path, name):
    table = subprocess.run(["msiinfo", "export", path, "Property"], check=True, text=True,
                           capture_output=True).stdout
    return next(line.split("\t")[1] for line in table.splitlines()
                if line.split("\t")[0] == name)


def cache_value(preset, name):
    with open(os.path.join(ROOT, "build-release", preset, "CMakeCache.txt"), encoding="utf-8") as f:
        return next(line.split("=", 1)[1].strip() for line in f if line.startswith(name + ":"))


def manifests(dist, version, base_url):
    """winget's three files, for the MSIs, and Scoop's, for the zips, each
    checked against its schema; returns their paths."""
    publisher = re.sub(r"\s*<.*", "", cache_value("windows-x64", "VESK_MAINTAINER"))
    homepage = cache_value("windows-x64", "VESK_HOMEPAGE")
    common = {"PackageIdentifier": WINGET_ID, "PackageVersion": version}
    installers = []
    for arch in ("x86", "x64"):
        msi = os.path.join(dist, "vesk-ip-convert-%s-windows-%s.msi" % (version, arch))
        installers.append({
            "Architecture": arch, "InstallerUrl": "%s/%s" % (base_url, os.path.basename(msi)),
            "InstallerSha256": sha256(msi).upper(), "ProductCode": msi_property(msi, "ProductCode"),
            "AppsAndFeaturesEntries": [{"UpgradeCode": msi_property(msi, "UpgradeCode")}]})
    winget = {
        "version": dict(common, DefaultLocale="en-US", ManifestType="version"),
        "installer": dict(common, InstallerType="wix", Scope="user", UpgradeBehavior="install",
                          Commands=["vesk-ip-convert"], Installers=installers,
                          ManifestType="installer"),
        "defaultLocale": dict(common, PackageLocale="en-US", Publisher=publisher,
                              PackageName="Vesk IP Convert", PackageUrl=homepage, License="MIT",
                              ShortDescription=DESCRIPTION, ManifestType="defaultLocale"),
    }
    written = []
    os.makedirs(os.path.join(dist, "winget"))
    for kind, manifest in winget.items():
        manifest["ManifestVersion"] = "1.12.0"
        schema = "manifest.%s.1.12.0" % kind
        check(manifest, os.path.join("winget-1.12.0", schema + ".json"))
        suffix = {"version": "", "installer": ".installer", "defaultLocale": ".locale.en-US"}[kind]
        path = os.path.join(dist, "winget", WINGET_ID + suffix + ".yaml")
        with open(path, "w", encoding="utf-8") as f:
            f.write("# yaml-language-server: $schema=https://aka.ms/winget-%s.schema.json\n" % schema)
            yaml.safe_dump(manifest, f, sort_keys=False, allow_unicode=True)
        written.append(path)
    scoop = {"version": version, "description": DESCRIPTION, "homepage": homepage,
             "license": "MIT", "architecture": {}, "bin": "vesk-ip-convert.exe"}
    for arch, bits in (("x64", "64bit"), ("x86", "32bit")):
        folder = "vesk-ip-convert-%s-windows-%s" % (version, arch)
        scoop["architecture"][bits] = {"url": "%s/%s.zip" % (base_url, folder),
                                       "hash": sha256(os.path.join(dist, folder + ".zip")),
                                       "extract_dir": folder}
    check(scoop, os.path.join("scoop", "schema.json"))
    os.makedirs(os.path.join(dist, "scoop"))
    written.append(os.path.join(dist, "scoop", "vesk-ip-convert.json"))
    with open(written[-1], "w", encoding="utf-8") as f:
        json.dump(scoop, f, indent=2)
        f.write("\n")
    return written


def check(manifest, schema):
    """Fails unless `manifest`, as its YAML or JSON reads back, is valid
    against the schema in packaging/schemas/."""
    with open(os.path.join(ROOT, "packaging", "schemas", schema), encoding="utf-8") as f:
        validator = jsonschema.Draft7Validator(json.load(f))
    errors = list(validator.iter_errors(yaml.safe_load(yaml.safe_dump(manifest))))
    if errors:
        refuse("a manifest is not valid against %s: %s" % (schema, errors[0].message))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sign", metavar="KEY", help="a minisign secret key file")
    parser.add_argument("--base-url", metavar="URL", help="where the files will be downloaded from")
    parser.add_argument("--allow-unsecured", action="store_true",
                        help="go on where libraries came without the security suite (for CI)")
    args = parser.parse_args()
    unsecured = check_machine(args.allow_unsecured)
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        version = re.search(r"^project\(vesk-ip-convert VERSION ([0-9.]+)", f.read(), re.M).group(1)
    epoch = int(run("git", "log", "-1", "--format=%ct"))
    dist = os.path.join(ROOT, "dist", version)
    shutil.rmtree(dist, ignore_errors=True)
    os.makedirs(dist)
    build_packages(dist)
    make_source_tarball(dist, version, epoch)
    release_notes(dist, version, unsecured)
    if args.base_url:
        manifests(dist, version, args.base_url.rstrip("/"))
    files = sorted(os.path.relpath(os.path.join(folder, name), dist)
                   for folder, _, names in os.walk(dist) for name in names)
    with open(os.path.join(dist, "SHA256SUMS"), "w", encoding="utf-8") as f:
        f.writelines("%s  %s\n" % (sha256(os.path.join(dist, name)), name) for name in files)
    files.append("SHA256SUMS")
    if args.sign:
        subprocess.run(["minisign", "-S", "-s", os.path.abspath(args.sign), "-m", "SHA256SUMS",
                        "-t", "vesk-ip-convert %s SHA256SUMS" % version], cwd=dist, check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        files.append("SHA256SUMS.minisig")
    print("release %s in %s:" % (version, os.path.relpath(dist, ROOT)))
    for name in files:
        print("  %10d  %s" % (os.path.getsize(os.path.join(dist, name)), name))
    if unsecured:
        print("NOT FOR PUBLISHING: built after installing without the security suite: "
              + " ".join(unsecured))


if __name__ == "__main__":
    main()
