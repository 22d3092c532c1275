#!/usr/bin/env bash
# Prepares this machine to run the 32-bit Windows build's tests: 32-bit Wine
# running under qemu's i386 user-mode emulator, for kernels that cannot run
# 32-bit x86 programs themselves. Safe to run again. Needs root.
#
# Steps: mount binfmt_misc; install qemu-user from the release's backports
# suite and wine32:i386 with tools/apt-install.sh, which adds that suite to
# apt's sources and i386 to dpkg's architectures; and register qemu-i386 as
# the handler for 32-bit x86 programs, with the F flag so that it works in
# any mount namespace.
set -euo pipefail

fail() {
  echo "setup-wine32: $*" >&2
  exit 1
}

[ "$(id -u)" = 0 ] || fail "needs root: it installs packages and registers a binfmt_misc handler"

binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
    fail "binfmt_misc is not available here (cannot mount it at $binfmt)"
fi

# qemu-user from backports: the release's own qemu-i386 cannot run 32-bit
# Wine under this kernel.
"$(dirname "$0")/apt-install.sh" qemu-user/backports wine32:i386 ||
  fail "could not install qemu-user from backports and wine32:i386 (after a warning that an index could not be fetched, the mirror is part-way through a sync: try again later)"

# Register qemu-i386 for 32-bit x86 ELF programs, replacing an entry that
# names another interpreter or lacks the F flag.
qemu=/usr/bin/qemu-i386
[ -x "$qemu" ] || fail "$qemu is missing after installing qemu-user"
entry="$binfmt/qemu-i386"
if [ -e "$entry" ] && ! { grep -qx "interpreter $qemu" "$entry" && grep -q '^flags:.*F' "$entry"; }; then
  echo -1 >"$entry"
fi
if [ ! -e "$entry" ]; then
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf ':qemu-i386:M::%s:%s:%s:F' "$magic" "$mask" "$qemu" >"$binfmt/register" ||
    fail "could not register $qemu with binfmt_misc"
fi
grep -qx enabled "$entry" || fail "the qemu-i386 binfmt_misc entry is not enabled"

# The 32-bit Wine loader must now start.
/usr/lib/wine/wine --version >/dev/null 2>&1 || fail "the 32-bit Wine loader does not start"
echo "setup-wine32: 32-bit Wine runs under $($qemu --version | head -n 1)"
