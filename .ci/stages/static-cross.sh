#!/usr/bin/env bash
# static-cross: the static programs for arm64, armhf and i386, tested under qemu, with their tarballs and the arm64 RPM
#
# The same checks as the static stage makes of the amd64 program, for each
# processor that a tarball ships for.
#
# Needs: g++-aarch64-linux-gnu g++-arm-linux-gnueabihf g++-i686-linux-gnu
# Needs: musl-dev:arm64 musl-dev:armhf musl-dev:i386 libc++-dev qemu-user/backports git rpm rpmlint
source "$(dirname "$0")/../lib.sh"

bash .ci/stages/static.sh arm64 armhf i386
