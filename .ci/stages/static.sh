#!/usr/bin/env bash
# static: the static program for any Linux on amd64, against musl, with its tarball and RPM
#
# The program must be a hardened static PIE that needs no loader and no
# library, and convert an address in a root that holds nothing but it. Its
# tarball must hold the right files and notices for every file that the
# linker took; its RPM must pass rpmlint, ask for nothing, and install into
# an empty root. static-cross does the same for the other processors.
#
# Needs: musl-dev libc++-dev git rpm rpmlint
source "$(dirname "$0")/../lib.sh"

# Builds, tests and checks the static program of Debian architecture $1.
check_static() {
  local arch=$1 folder=build-static-$1 emulator
  echo "== static-$arch"
  cmake --workflow --preset "static-$arch"
  emulator=$(emulator_of "$folder")
  .ci/check-hardening --static "$folder/vesk-ip-convert" "static-$arch" "$arch"
  echo "static-$arch: $(stat -c %s "$folder/vesk-ip-convert") bytes"
  tests/check_tarball.sh "$folder"/packages/*.tar.gz "$folder/vesk-ip-convert.map" $emulator
  report_packages "$folder"/packages/*.tar.gz
  # RPMs for the processors that Fedora, RHEL and openSUSE ship for.
  if [ "$arch" = amd64 ] || [ "$arch" = arm64 ]; then
    local rpms=("$folder"/packages/*.rpm)
    [ -f "${rpms[0]}" ] || { echo "static-$arch made no RPM"; exit 1; }
    tests/check_rpm.sh "${rpms[0]}" $emulator
    report_packages "${rpms[0]}"
  fi
}

# Run by static-cross for the other processors.
if (($#)); then
  for arch in "$@"; do check_static "$arch"; done
  exit 0
fi

echo "against musl $(dpkg-query -W -f '${Version}' musl-dev)"
check_static amd64
# The program in a root that holds nothing but it, with no environment: it
# needs no file of this system's.
empty_root=$(mktemp -d)
cp build-static-amd64/vesk-ip-convert "$empty_root/"
answer=$(printf '192.168.1.10\n' | env -i "$(command -v chroot)" "$empty_root" /vesk-ip-convert)
[[ "$answer" == *"192.168.1.10 => 3232250186 (0xc0a8394a)"* ]] ||
  { echo "the static program gave in an empty root: $answer"; exit 1; }
echo "static-amd64: converts an address in an empty root"
rm -rf "$empty_root"
