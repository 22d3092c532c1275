#!/usr/bin/env bash
# debian13: the readme, clang, libcxx, sanitize, lint, static and packages stages again, on Debian 13 "trixie"
#
# Debian 13 is the stable release, with GCC 14, LLVM 19, musl 1.2.5 and a
# newer lintian and hardening-check. The stages run as they are, inside a
# chroot made fresh from Debian's archive for every run, as a contributor on
# that release would run them: the same scripts, not copies of their
# commands. VESK_DEBIAN_MIRROR names another mirror than deb.debian.org.
#
# Needs: debootstrap git
source "$(dirname "$0")/../lib.sh"

mirror=${VESK_DEBIAN_MIRROR:-http://deb.debian.org/debian}
root=$(mktemp -d /tmp/vesk-trixie.XXXXXX)
cleanup() {
  for mount in dev/pts dev proc; do
    if mountpoint -q "$root/$mount"; then umount "$root/$mount"; fi
  done
  # Never into a file system that is still mounted below the chroot.
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT

echo "== Debian 13: a fresh chroot from $mirror"
if ! debootstrap --variant=minbase trixie "$root" "$mirror" >"$root.log" 2>&1; then
  tail -n 30 "$root.log"
  echo "debootstrap could not make a Debian 13 chroot"
  exit 1
fi
rm -f "$root.log"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
cp /etc/resolv.conf "$root/etc/resolv.conf"
git clone -q . "$root/src"
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 CI=true \
  bash /src/.ci/run readme clang libcxx sanitize lint static packages
