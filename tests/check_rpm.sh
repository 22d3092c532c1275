#!/usr/bin/env bash
# Checks an RPM of the static program: rpmlint, with the project's rpmlintrc,
# finds no error or warning; it asks for nothing but rpm's own features; and
# installed with rpm into an empty root, the program converts an address
# there, run in that root (or, for another processor, under EMULATOR, such
# as qemu-aarch64).
#
#   tests/check_rpm.sh RPM [EMULATOR]
set -euo pipefail
usage='usage: check_rpm.sh RPM [EMULATOR]'
package=$(realpath "${1:?$usage}")
emulator=${2:-}
cd "$(dirname "$0")/.."
root=$(mktemp -d)
trap 'rm -rf "$root" "$root.log" "$root.rpmlintrc"' EXIT
# rpmlint before 2.5 (Debian 12 has 2.4) records the manual page's section,
# not its name, for its check of every program's page; later ones (Debian
# 13 has 2.7) find the page, and call a filter for it unused, an error.
rpmlintrc=$root.rpmlintrc
cp packaging/vesk-ip-convert.rpmlintrc "$rpmlintrc"
version=$(rpmlint --version | grep -o '[0-9][0-9.]*' | head -n 1)
if [ "$(printf '%s\n' "$version" 2.5 | sort -V | head -n 1)" != 2.5 ]; then
  echo 'addFilter("no-manual-page-for-binary")' >>"$rpmlintrc"
fi
rpmlint -r "$rpmlintrc" "$package" |
  grep -q ' 0 errors, 0 warnings' || { rpmlint -r "$rpmlintrc" "$package"; exit 1; }
requires=$(rpm --query --package --requires "$package" | grep -v '^rpmlib(' || true)
[ -z "$requires" ] || { echo "$package requires $requires"; exit 1; }
rpm --root "$root" --initdb
# Debian's rpm warns, on every install, that apt is meant to install
# packages; anything else that it says is shown.
rpm --root "$root" --install --ignorearch "$package" 2>"$root.log" ||
  { cat "$root.log"; exit 1; }
grep -v -e 'use Alien instead' -e 'assuming you know what you are doing' "$root.log" >&2 || true
for file in bin/vesk-ip-convert share/man/man1/vesk-ip-convert.1.gz \
            share/licenses/vesk-ip-convert/LICENSE share/doc/vesk-ip-convert/THIRD-PARTY-NOTICES; do
  [ -s "$root/usr/$file" ] || { echo "$package did not install /usr/$file"; exit 1; }
done
if [ -n "$emulator" ]; then
  answer=$(printf '192.168.1.10\n' | "$emulator" "$root/usr/bin/vesk-ip-convert")
else
  answer=$(printf '192.168.1.10\n' | env -i "$(command -v chroot)" "$root" /usr/bin/vesk-ip-convert)
fi
[[ "$answer" == *"192.168.1.10 => 3232250186 (0xc0a8394a)"* ]] ||
  { echo "the program that $package installed answered: $answer"; exit 1; }
echo "$package: rpmlint finds nothing; it needs only rpm's features; installed, it converts an address"
