#!/usr/bin/env bash
# Checks a .deb: the files it installs, and one exact session of its
# program. A package for another architecture runs its program under the
# EMULATOR given: "qemu-aarch64 -L /usr/aarch64-linux-gnu" for an unpacked
# one, as the build folder's cache names it, or qemu-aarch64 for one
# installed with that architecture's C library through multiarch
# (libc6:arm64).
#
#   check_deb.sh PACKAGE.deb [EMULATOR...]            unpacks it into a
#                                                     scratch directory
#   check_deb.sh --install PACKAGE.deb [EMULATOR...]  installs it with apt,
#                                                     as a user would, and
#                                                     removes it again (root)
set -euo pipefail
install=0
if [ "${1:-}" = --install ]; then
  install=1
  shift
fi
deb=${1:?usage: check_deb.sh [--install] PACKAGE.deb [EMULATOR...]}
shift
emulator=("$@")
arch=$(dpkg-deb --field "$deb" Architecture)

if ((install)); then
  root=
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq "$(realpath "$deb")" >/dev/null || { echo "apt could not install $deb"; exit 1; }
  trap 'apt-get purge -y -qq "vesk-ip-convert:$arch" >/dev/null' EXIT
else
  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
  dpkg -x "$deb" "$root"
fi

test -x "$root/usr/bin/vesk-ip-convert" || { echo "the package lacks the program /usr/bin/vesk-ip-convert"; exit 1; }
for f in usr/share/man/man1/vesk-ip-convert.1.gz usr/share/doc/vesk-ip-convert/copyright \
         usr/share/doc/vesk-ip-convert/changelog.gz; do
  test -s "$root/$f" || { echo "the package lacks /$f"; exit 1; }
done

expected=$'Vesk IP Convert\nRelease by: Quorin\n'
expected+=$'Please type the IP address to convert: 192.168.1.10 => 3232250186 (0xc0a8394a)\n\n'
expected+=$'Please type the IP address to convert: \n'
actual=$(printf '192.168.1.10\n' | "${emulator[@]}" "$root/usr/bin/vesk-ip-convert"; echo x)
if [ "${actual%x}" != "$expected" ]; then
  echo "unexpected output from the packaged program:"
  printf '%s' "${actual%x}" | od -c | head -20
  exit 1
fi
how="unpacked"
((install)) && how="installed with apt"
echo "package $deb: $how, with the program, its manual page, copyright and changelog;" \
     "the program runs${emulator[0]:+ under ${emulator[0]}}"
