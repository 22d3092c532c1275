#!/usr/bin/env bash
# Unpacks a .deb into a scratch directory and runs the program from there:
# checks the files the package installs and one exact session.
set -euo pipefail
deb=${1:?usage: check_deb.sh PACKAGE.deb}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"

test -x "$root/usr/bin/vesk-ip-convert"
for f in usr/share/man/man1/vesk-ip-convert.1.gz usr/share/doc/vesk-ip-convert/copyright \
         usr/share/doc/vesk-ip-convert/changelog.gz; do
  test -s "$root/$f" || { echo "the package lacks /$f"; exit 1; }
done

expected=$'Vesk IP Convert\nRelease by: Quorin\n'
expected+=$'Please type the IP address to convert: 192.168.1.10 => 3232250186 (0xc0a8394a)\n\n'
expected+=$'Please type the IP address to convert: \n'
actual=$(printf '192.168.1.10\n' | "$root/usr/bin/vesk-ip-convert"; echo x)
if [ "${actual%x}" != "$expected" ]; then
  echo "unexpected output from the packaged program:"
  printf '%s' "${actual%x}" | od -c | head -20
  exit 1
fi
echo "package $deb: installs the program, its manual page, copyright and changelog; the program runs"
