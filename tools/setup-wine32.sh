#!/usr/bin/env bash
# Prepares this machine to run the 32-bit Windows build's tests: 32-bit Wine
# running under qemu's i386 user-mode emulator, for kernels that cannot run
# 32-bit x86 programs themselves. Safe to run again. Needs root.
#
# Steps: mount binfmt_misc, add the backports suite (from the mirror that
# this machine's apt sources already use), add the i386 architecture,
# install qemu-user from backports and wine32:i386, and register qemu-i386
# as the handler for 32-bit x86 programs, with the F flag so that it works
# in any mount namespace.
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

# The mirror and keyring of the stanza that serves the release itself, from
# deb822 .sources files or one-line .list files.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || fail "cannot tell the Debian release from /etc/os-release"
read -r mirror keyring < <(
  shopt -s nullglob
  awk -v suite="$codename" '
    function flush() { if (hit && uri != "" && !found) { print uri, (key == "" ? "-" : key); found = 1 }
                       hit = 0; uri = ""; key = "" }
    FNR == 1 { flush() }
    /^[[:space:]]*$/ { flush(); next }
    tolower($1) == "uris:" { uri = $2 }
    tolower($1) == "signed-by:" { key = $2 }
    tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == suite) hit = 1 }
    END { flush() }' /etc/apt/sources.list.d/*.sources
  sed -E 's/\[[^]]*\]//' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk -v suite="$codename" '$1 == "deb" && $3 == suite { print $2, "-"; exit }'
) || true
[ -n "${mirror:-}" ] || fail "no apt source for '$codename' to take the mirror from"

backports="$codename-backports"
list=/etc/apt/sources.list.d/vesk-backports.sources
{
  echo "Types: deb"
  echo "URIs: $mirror"
  echo "Suites: $backports"
  echo "Components: main"
  [ "$keyring" = "-" ] || echo "Signed-By: $keyring"
} >"$list.new"
changed=0
if ! cmp -s "$list.new" "$list"; then
  mv "$list.new" "$list"
  changed=1
else
  rm -f "$list.new"
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  changed=1
fi

export DEBIAN_FRONTEND=noninteractive
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }
if ! installed qemu-user || ! installed wine32:i386 ||
   ! apt-cache policy qemu-user | grep -q "Installed:.*bpo"; then
  if ((changed)) || ! apt-cache policy | grep -q "$backports"; then
    "$(dirname "$0")/apt-update.sh"
  fi
  # Without the handlers that it recommends, which this script registers
  # itself: they would bring systemd's libraries from backports too, which
  # their i386 versions, needed by Wine, would then have to match.
  "$(dirname "$0")/apt-install.sh" --no-install-recommends -t "$backports" qemu-user >/dev/null ||
    fail "could not install qemu-user from $backports"
  "$(dirname "$0")/apt-install.sh" wine32:i386 >/dev/null ||
    fail "could not install wine32:i386 (after a warning that an index could not be fetched, the mirror is part-way through a sync: try again later)"
fi

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
