#!/usr/bin/env bash
# Checks the tarball of a static program for any Linux: one folder, named
# as the tarball, with the program, its manual page, README, LICENSE and
# THIRD-PARTY-NOTICES and nothing else; the program converts an address
# (under EMULATOR, such as qemu-aarch64, if one is given); and every file
# of the toolchain's that the linker took, as the link map lists them, is
# named in the notices.
#
#   tests/check_tarball.sh TARBALL LINK_MAP [EMULATOR]
set -euo pipefail
usage='usage: check_tarball.sh TARBALL LINK_MAP [EMULATOR]'
tarball=${1:?$usage}
map=${2:?$usage}
emulator=${3:-}
folder=$(basename "$tarball" .tar.gz)
listing=$(tar -tzf "$tarball" | sort)
want=$(printf "$folder/%s\n" "" LICENSE README THIRD-PARTY-NOTICES vesk-ip-convert vesk-ip-convert.1 |
       sort)
if [ "$listing" != "$want" ]; then
  printf '%s holds\n%s\nand not\n%s\n' "$tarball" "$listing" "$want"
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tar -xzf "$tarball" -C "$work"
answer=$(printf '192.168.1.10\n' | $emulator "$work/$folder/vesk-ip-convert")
[[ "$answer" == *"192.168.1.10 => 3232250186 (0xc0a8394a)"* ]] ||
  { echo "the program in $tarball answered: $answer"; exit 1; }
# The files that the link loaded by their full path are the toolchain's; the
# program's own are its objects, its libraries and the link-time optimiser's
# temporary objects.
inputs=$(sed -n 's#^LOAD \(/.*\)#\1#p' "$map" | grep -v '\.ltrans\.o$' | xargs -n 1 basename |
         sort -u)
[ -n "$inputs" ] || { echo "$map names no file of the toolchain's: not understood"; exit 1; }
named=$(sed -n 's/^Archives: //p' "$work/$folder/THIRD-PARTY-NOTICES" | tr ' ' '\n')
for input in $inputs; do
  grep -qx "$input" <<<"$named" ||
    { echo "the linker took $input, which $folder/THIRD-PARTY-NOTICES does not name"; exit 1; }
done
echo "$tarball: the notices name $(tr '\n' ' ' <<<"$inputs")and the program converts an address"
