#!/usr/bin/env bash
# packages: the amd64 .deb, checked as Debian checks packages and installed with apt as a user would
#
# The package must install the program, its manual page, copyright file and
# changelog; depend on libc6 alone; have no error or warning from lintian;
# carry the hardening that Debian builds with; and, installed with apt, run.
# The cross stage does the same for the arm64, armhf and i386 packages.
#
# Needs: dpkg-dev git lintian devscripts
source "$(dirname "$0")/../lib.sh"

# Checks the .deb that the build of `preset` made for Debian architecture $1.
check_package() {
  local arch=$1 preset folder package fields emulator
  if [ "$arch" = "$(dpkg --print-architecture)" ]; then
    preset=default folder=build
    cmake --workflow --preset package
  else
    preset=linux-$arch folder=build-linux-$arch
    build_preset "$preset" packages
  fi
  package=$folder/packages/vesk-ip-convert_${version}_$arch.deb
  emulator=$(emulator_of "$folder")
  tests/check_deb.sh "$package" $emulator
  fields=$(dpkg-deb --field "$package" Architecture Depends)
  [[ "$fields" == "Architecture: "?*$'\n'"Depends: "?* ]] ||
    { echo "dpkg-deb gives no Architecture and Depends of $package: $fields"; exit 1; }
  echo "$package: ${fields//$'\n'/, }"
  [[ "$fields" =~ Depends:\ libc6(\ \(.*\))?$ ]] || { echo "$package depends on more than libc6"; exit 1; }
  lintian --fail-on error,warning "$package" ||
    { echo "lintian finds errors or warnings in $package"; exit 1; }
  echo "lintian: no errors or warnings"
  .ci/check-hardening "$package" "$preset"
  # As a user installs it: CI's machine is its own. Through multiarch for
  # another architecture, whose program then runs under qemu.
  tests/check_deb.sh --install "$package" ${emulator%% *}
  report_packages "$package"
}

if (($#)); then
  for arch in "$@"; do check_package "$arch"; done  # from the cross stage
else
  check_package "$(dpkg --print-architecture)"
fi
