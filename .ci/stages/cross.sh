#!/usr/bin/env bash
# cross: Linux on Debian's other release architectures, cross-compiled and tested under qemu; the arm64, armhf and i386 .debs checked
#
# The unit tests, the end-to-end script and the terminal session run
# against each program under qemu's user-mode emulator: big-endian s390x,
# 32-bit processors and the portable line path all show here. The .debs
# are checked as the packages stage checks the amd64 one, and installed
# through multiarch.
#
# Needs: g++-aarch64-linux-gnu g++-arm-linux-gnueabihf g++-i686-linux-gnu
# Needs: g++-s390x-linux-gnu g++-powerpc64le-linux-gnu g++-riscv64-linux-gnu
# Needs: libc6:arm64 libc6:armhf libc6:i386 qemu-user/backports dpkg-dev git lintian devscripts
source "$(dirname "$0")/../lib.sh"

for arch in arm64 armhf i386 s390x ppc64el riscv64; do
  echo "== linux-$arch"
  cmake --workflow --preset "linux-$arch"
done
bash .ci/stages/packages.sh arm64 armhf i386
