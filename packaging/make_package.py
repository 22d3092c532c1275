#!/usr/bin/env python3
"""Makes the release package from a finished build, reproducibly.

    make_package.py deb BUILD_DIR CONTROL_FILE OUTPUT_DIR
    make_package.py zip BUILD_DIR FOLDER_NAME OUTPUT_DIR
    make_package.py tar BUILD_DIR FOLDER_NAME OUTPUT_DIR
    make_package.py rpm BUILD_DIR SPEC_FILE OUTPUT_DIR ARCH
    make_package.py msi BUILD_DIR WXS_FILE OUTPUT_DIR NAME ARCH PACKAGE_CODE

deb: installs the build under /usr into a staging folder and packs it with
dpkg-deb, with the control file that CMake wrote and the dependencies that
dpkg-shlibdeps finds. zip: installs it into one folder, FOLDER_NAME, and
zips that folder for Windows users. tar: the same folder as a .tar.gz,
for the static programs for any Linux. rpm: an RPM of the same files for
processor ARCH, with rpmbuild, as Fedora lays them out, its build time and
file times the epoch's. msi: a Windows Installer package, NAME.msi, of the
zip's files for processor ARCH (x86 or x64), with wixl from the WiX source
that CMake wrote, and with what wixl cannot write added by msibuild: the
install folder in the user's PATH, and the package code PACKAGE_CODE.

The same sources give the same bytes, whatever the umask, the time zone or
the time of the build: every file is 0644 and every program and folder
0755, owned by root, and every time stamp is SOURCE_DATE_EPOCH. When that
is not set, it is the time of the last commit: from the file
.source-date-epoch that the source tarball holds, or else from git.
"""
import gzip
import hashlib
import os
import shutil
import subprocess
import sys
import tarfile
import time
import zipfile


def source_date_epoch(source_dir):
    if "SOURCE_DATE_EPOCH" in os.environ:
        return int(os.environ["SOURCE_DATE_EPOCH"])
    stamp = os.path.join(source_dir, ".source-date-epoch")  # in the source tarball
    if os.path.exists(stamp):
        with open(stamp, encoding="ascii") as f:
            return int(f.read())
    try:
        return int(subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"],
                                  capture_output=True, text=True, check=True).stdout)
    except (OSError, subprocess.CalledProcessError, ValueError):
        sys.exit("make_package: set SOURCE_DATE_EPOCH outside a git checkout or a source tarball")


def install(build_dir, stage, prefix, epoch):
    """Installs the build, stripped, under `prefix` in `stage`, and gives
    every entry its fixed mode and time."""
    shutil.rmtree(stage, ignore_errors=True)
    # Stripping a Windows program writes the time stamp into its header anew.
    env = dict(os.environ, DESTDIR=stage, SOURCE_DATE_EPOCH=str(epoch))
    subprocess.run(["cmake", "--install", build_dir, "--prefix", prefix, "--strip"],
                   env=env, check=True, stdout=subprocess.DEVNULL)
    for folder, _, files in os.walk(stage, topdown=False):
        for name in files:
            path = os.path.join(folder, name)
            os.chmod(path, 0o755 if os.stat(path).st_mode & 0o100 else 0o644)
            os.utime(path, (epoch, epoch))
        os.chmod(folder, 0o755)
        os.utime(folder, (epoch, epoch))


def files_under(root):
    """Every file below `root`, as sorted paths relative to it."""
    return sorted(os.path.relpath(os.path.join(folder, name), root)
                  for folder, _, names in os.walk(root) for name in names)


def make_deb(build_dir, control_file, output_dir, epoch):
    stage = os.path.join(build_dir, "package-stage")
    install(build_dir, stage, "/usr", epoch)
    files = files_under(stage)
    debian = os.path.join(stage, "DEBIAN")
    os.makedirs(debian, mode=0o755)
    os.chmod(debian, 0o755)
    # dpkg-shlibdeps reads a debian/control of its own; give it one.
    with open(control_file, encoding="utf-8") as f:
        control = f.read()
    work = os.path.join(build_dir, "package-shlibdeps")
    os.makedirs(os.path.join(work, "debian"), exist_ok=True)
    with open(os.path.join(work, "debian", "control"), "w", encoding="utf-8") as f:
        f.write("Source: vesk-ip-convert\n\n" + control)
    programs = [os.path.join(stage, f) for f in files if f.startswith("usr/bin/")]
    fields = dict(line.split(": ", 1) for line in control.splitlines() if ": " in line
                  and not line.startswith(" "))
    # For another architecture, dpkg-shlibdeps looks up the libraries of that
    # architecture, which multiarch installs beside this one's (libc6:arm64).
    env = dict(os.environ, DEB_HOST_ARCH=fields["Architecture"])
    found = subprocess.run(["dpkg-shlibdeps", "-O", *programs], cwd=work, capture_output=True,
                           text=True, check=True, env=env).stdout
    depends = found.strip().partition("shlibs:Depends=")[2]
    size_kib = sum((os.path.getsize(os.path.join(stage, f)) + 1023) // 1024 for f in files)
    write_fixed(os.path.join(debian, "control"),
                control.rstrip("\n") + f"\nDepends: {depends}\nInstalled-Size: {size_kib}\n")
    sums = "".join(f"{digest(os.path.join(stage, f))}  {f}\n" for f in files)
    write_fixed(os.path.join(debian, "md5sums"), sums)
    name = f"{fields['Package']}_{fields['Version']}_{fields['Architecture']}.deb"
    os.makedirs(output_dir, exist_ok=True)
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch))
    subprocess.run(["dpkg-deb", "--root-owner-group", "--build", stage,
                    os.path.join(output_dir, name)], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    return name


def digest(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


def write_fixed(path, text):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    os.chmod(path, 0o644)


def make_zip(build_dir, folder, output_dir, epoch):
    stage = os.path.join(build_dir, "package-stage")
    install(build_dir, stage, "/" + folder, epoch)
    # Zip keeps local times without a zone: the epoch's time in UTC stands
    # for it, whatever the zone of the machine that builds.
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times start in 1980
    name = folder + ".zip"
    os.makedirs(output_dir, exist_ok=True)
    with zipfile.ZipFile(os.path.join(output_dir, name), "w", zipfile.ZIP_DEFLATED) as archive:
        entry = zipfile.ZipInfo(folder + "/", stamp)
        entry.external_attr = (0o40755 << 16) | 0x10  # a folder, also for Windows
        archive.writestr(entry, b"")
        for path in files_under(os.path.join(stage, folder)):
            with open(os.path.join(stage, folder, path), "rb") as f:
                data = f.read()
            entry = zipfile.ZipInfo(f"{folder}/{path}", stamp)
            entry.external_attr = (0o100755 if path.endswith(".exe") else 0o100644) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, data)
    return name


def make_tar(build_dir, folder, output_dir, epoch):
    stage = os.path.join(build_dir, "package-stage")
    install(build_dir, stage, "/" + folder, epoch)
    name = folder + ".tar.gz"
    os.makedirs(output_dir, exist_ok=True)
    # gzip's header keeps no file name and the epoch as its time; tar's
    # entries are owned by root, in a fixed order, with fixed modes.
    with open(os.path.join(output_dir, name), "wb") as raw, \
            gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=epoch) as zipped, \
            tarfile.open(fileobj=zipped, mode="w", format=tarfile.USTAR_FORMAT) as archive:
        for path in [""] + files_under(os.path.join(stage, folder)):
            entry = archive.gettarinfo(os.path.join(stage, folder, path),
                                       os.path.join(folder, path).rstrip("/"))
            entry.uid = entry.gid = 0
            entry.uname = entry.gname = "root"
            entry.mtime = epoch
            if entry.isfile():
                with open(os.path.join(stage, folder, path), "rb") as f:
                    archive.addfile(entry, f)
            else:
                archive.addfile(entry)
    return name


def make_rpm(build_dir, spec, output_dir, epoch, arch):
    stage = os.path.join(build_dir, "package-stage")
    install(build_dir, stage, "/files", epoch)
    os.makedirs(output_dir, exist_ok=True)
    name_format = "%{NAME}-%{VERSION}-%{RELEASE}.%{ARCH}.rpm"
    defines = {
        "_topdir": os.path.join(build_dir, "rpmbuild"),
        "_builddir": os.path.join(stage, "files"),
        "staged": os.path.join(stage, "files"),
        "_rpmdir": os.path.abspath(output_dir),
        "_rpmfilename": name_format,
        "use_source_date_epoch_as_buildtime": "1",
        "clamp_mtime_to_source_date_epoch": "1",
        "_buildhost": "reproducible",
    }
    command = ["rpmbuild", "-bb", "--quiet", "--target", arch]
    for macro, value in defines.items():
        command += ["--define", f"{macro} {value}"]
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch), TZ="UTC", LC_ALL="C")
    subprocess.run(command + [spec], env=env, check=True, stdout=subprocess.DEVNULL)
    with open(spec, encoding="utf-8") as f:
        tags = dict(line.split(":", 1) for line in f if line[:1].isupper() and ":" in line)
    return "{}-{}-{}.{}.rpm".format(*(tags[t].strip() for t in ("Name", "Version", "Release")),
                                    arch)


# What wixl 0.101 cannot write: the Environment table, which puts the
# install folder at the end of the user's PATH when the Program component
# is installed and takes it out again when it is removed ("=-", as the
# user's own, not the system's), and its two actions. And an upgrade that
# removes the older version after installing the newer, rather than before:
# the components, which both share, then stay, and with them the PATH
# entry, which Wine's removal would otherwise leave behind as an empty
# entry before the new one, where its Command Prompt stops looking.
MSI_QUERIES = [
    "UPDATE `InstallExecuteSequence` SET `Sequence` = 6650 "
    "WHERE `Action` = 'RemoveExistingProducts'",
    "CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, `Name` CHAR(255) NOT NULL "
    "LOCALIZABLE, `Value` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL "
    "PRIMARY KEY `Environment`)",
    "INSERT INTO `Environment` (`Environment`, `Name`, `Value`, `Component_`) "
    "VALUES ('PATH', '=-PATH', '[~];[INSTALLDIR]', 'Program')",
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) "
    "VALUES ('RemoveEnvironmentStrings', 3300)",
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) "
    "VALUES ('WriteEnvironmentStrings', 5200)",
]


def make_msi(build_dir, wxs, output_dir, epoch, name, arch, package_code):
    stage = os.path.join(build_dir, "package-stage")
    install(build_dir, stage, "/", epoch)
    os.makedirs(output_dir, exist_ok=True)
    msi = os.path.join(os.path.abspath(output_dir), name + ".msi")
    if os.path.exists(msi):
        os.remove(msi)  # msibuild would change the old one
    # wixl and msibuild write the clock's time into the package's summary:
    # the clock is stopped at the epoch, in UTC. The package code that wixl
    # makes is random; msibuild sets it again, with the summary that wixl
    # wrote.
    clock = ["faketime", "-f", time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(epoch))]
    env = dict(os.environ, TZ="UTC")
    subprocess.run(clock + ["wixl", "--arch", arch, "--output", msi, wxs], cwd=stage, env=env,
                   check=True)
    summary = dict(line.split(": ", 1) for line in subprocess.run(
        ["msiinfo", "suminfo", msi], capture_output=True, text=True, check=True).stdout.splitlines()
        if ": " in line)
    queries = [word for query in MSI_QUERIES for word in ("-q", query)]
    subprocess.run(clock + ["msibuild", msi] + queries +
                   ["-s", summary["Subject"], summary["Author"], summary["Template"],
                    "{%s}" % package_code], env=env, check=True)
    return name + ".msi"


def source_of(build_dir):
    """The source folder of the CMake build in `build_dir`."""
    with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as cache:
        return next(line.split("=", 1)[1].strip() for line in cache
                    if line.startswith("CMAKE_HOME_DIRECTORY:"))


def main():
    if sys.argv[1:2] == ["msi"] and len(sys.argv) == 8:
        build_dir, wxs, output_dir, name, arch, code = sys.argv[2:]
        build_dir = os.path.abspath(build_dir)
        epoch = source_date_epoch(source_of(build_dir))
        made = make_msi(build_dir, wxs, output_dir, epoch, name, arch, code)
        print(f"made {os.path.join(output_dir, made)} (time stamps {epoch})")
        return
    if sys.argv[1:2] == ["rpm"] and len(sys.argv) == 6:
        build_dir, spec, output_dir, arch = sys.argv[2:]
        build_dir = os.path.abspath(build_dir)
        epoch = source_date_epoch(source_of(build_dir))
        name = make_rpm(build_dir, spec, output_dir, epoch, arch)
        print(f"made {os.path.join(output_dir, name)} (time stamps {epoch})")
        return
    if len(sys.argv) != 5 or sys.argv[1] not in ("deb", "zip", "tar"):
        sys.exit(__doc__)
    kind, build_dir, what, output_dir = sys.argv[1:]
    build_dir = os.path.abspath(build_dir)
    epoch = source_date_epoch(source_of(build_dir))
    make = {"deb": make_deb, "zip": make_zip, "tar": make_tar}[kind]
    name = make(build_dir, what, output_dir, epoch)
    print(f"made {os.path.join(output_dir, name)} (time stamps {epoch})")


if __name__ == "__main__":
    main()
