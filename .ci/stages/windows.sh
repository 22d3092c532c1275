#!/usr/bin/env bash
# windows: the 32- and 64-bit Windows programs, cross-compiled with mingw-w64 and tested under Wine, with their zips and installers
#
# Windows on x86 is the program's home. Each build runs the unit tests, the
# end-to-end script and the terminal session under Wine (32-bit Wine under
# qemu, since this machine's kernel cannot run 32-bit programs). Then:
# - the 64-bit build once more without groff or the mingw-w64 copyright
#   file, as with another system's mingw-w64: the program and its tests
#   must build and pass, and only the package target may fail, naming both;
# - each zip's layout, text files, version, manifest and hardening, and a
#   notice for every library in the linker's map;
# - each program at most 32 KiB stripped, importing system DLLs alone;
# - each MSI installed under Wine for its processor, found through PATH in
#   a new Command Prompt, upgraded by an MSI of a higher version made from
#   a copy of the sources, and removed without a trace;
# - the same output bytes as the Linux program, with CR LF, in large blocks.
#
# Needs: g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386 qemu-user/backports
# Needs: python3-pefile groff-base git wixl msitools faketime
source "$(dirname "$0")/../lib.sh"

# 32-bit Wine runs under qemu's user-mode emulator, registered as the
# kernel's handler for 32-bit x86 programs.
tools/setup-wine32.sh

echo "== windows-x86"
cmake --workflow --preset windows-x86
exe=build-windows-x86/vesk-ip-convert.exe
header=$(objdump -f "$exe")
private=$(objdump -p "$exe")
for want in 'file format pei-i386' 'architecture: i386' 'Subsystem.*(Windows CUI)'; do
  grep -q "$want" <<<"$header$private" ||
    { echo "objdump does not say '$want' of $exe"; exit 1; }
done
echo "windows-x86: PE32 i386 console executable"
echo "== windows-x64"
cmake --workflow --preset windows-x64

echo "== windows-x64 without groff or the mingw-w64 copyright file"
# Both are hidden in a mount namespace of this step's own.
unshare --mount --propagation private bash -euo pipefail -c '
  mount --bind /dev/null /usr/bin/groff
  mount -t tmpfs -o ro none /usr/share/doc/mingw-w64-common
  cmake --preset windows-x64 -B "$1" >/dev/null
  cmake --build "$1"
  ctest --test-dir "$1" --output-on-failure
  if cmake --build "$1" --target packages -- -k 0 >"$1/packages.log" 2>&1; then
    echo "the package was made without groff and the copyright file"
    exit 1
  fi
  for lacking in "groff is missing" "mingw-w64-common/copyright is missing"; do
    grep -q "$lacking" "$1/packages.log" ||
      { cat "$1/packages.log"; echo "the package target does not say: $lacking"; exit 1; }
  done
  grep -A3 "CMake Error" "$1/packages.log"
' _ build-windows-x64-bare

for arch in x86 x64; do
  zip=build-windows-$arch/packages/vesk-ip-convert-$version-windows-$arch.zip
  # Debian's python3, which has python3-pefile, whatever python3 is first on PATH.
  /usr/bin/python3 tests/check_windows_package.py "$zip" "$version" \
    "build-windows-$arch/vesk-ip-convert.map" ||
    { echo "the Windows package $zip is not laid out for Windows users, or not hardened"; exit 1; }
  report_packages "$zip"
  exe=build-windows-$arch/vesk-ip-convert.exe
  # Stripped, the program stays small: its own code and the C runtime's
  # start-up, and no C++ runtime.
  stripped=$(mktemp)
  objcopy --strip-all "$exe" "$stripped"
  size=$(stat -c %s "$stripped")
  rm -f "$stripped"
  echo "$exe: $size bytes stripped"
  ((size <= 32768)) || { echo "$exe is larger than 32,768 bytes stripped"; exit 1; }
  dlls=$(objdump -p "$exe" | awk '/DLL Name/ {print $3}' | sort | tr '\n' ' ')
  [ -n "$dlls" ] || { echo "objdump -p names no imported DLL of $exe: not understood"; exit 1; }
  echo "$exe imports: $dlls"
  # Only system DLLs: the C and C++ runtimes are linked in. The stack
  # protector seeds its guard from ADVAPI32's random numbers.
  [ "$dlls" = "ADVAPI32.dll KERNEL32.dll msvcrt.dll " ] ||
    { echo "$exe imports other DLLs than the system's own"; exit 1; }
done

echo "== the installers: installed, upgraded and removed under Wine"
# The higher version is made from a copy of the sources as they stand, with
# the next patch version.
upgrade=$(mktemp -d)
git ls-files -z | xargs -0 cp --parents -t "$upgrade"
next=${version%.*}.$((${version##*.} + 1))
sed -i "s/^project(vesk-ip-convert VERSION $version/project(vesk-ip-convert VERSION $next/" \
  "$upgrade/CMakeLists.txt"
epoch=$(git log -1 --format=%ct)
for arch in x86 x64; do
  (cd "$upgrade" && export SOURCE_DATE_EPOCH=$epoch &&
   cmake --preset "windows-$arch" -DBUILD_TESTING=OFF >/dev/null &&
   cmake --build --preset "windows-$arch" --target packages >/dev/null)
  loader=/usr/lib/wine/wine64
  [ "$arch" = x64 ] || loader=/usr/lib/wine/wine
  msi=build-windows-$arch/packages/vesk-ip-convert-$version-windows-$arch.msi
  /usr/bin/python3 tests/check_msi.py "$msi" \
    "$upgrade/build-windows-$arch/packages/vesk-ip-convert-$next-windows-$arch.msi" \
    "build-windows-$arch/packages/vesk-ip-convert-$version-windows-$arch.zip" "$loader"
  report_packages "$msi"
done
rm -rf "$upgrade"

echo "== Windows batch output: the same bytes as the Linux program's, in large blocks"
build_preset default vesk-ip-convert
(cd bench && python3 windows_batch.py --linux ../build/vesk-ip-convert \
   --windows x64 ../build-windows-x64/vesk-ip-convert.exe \
   --windows x86 ../build-windows-x86/vesk-ip-convert.exe)
