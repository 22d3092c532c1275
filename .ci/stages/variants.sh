#!/usr/bin/env bash
# variants: the other ways to build: the plain CMake idiom, no tests, no vector instructions
#
# - The plain idiom with the default generator, from a path with a space,
#   under umask 077 and another time zone: with no build type named, the
#   program is the optimised, hardened one; a Debug build is kept as the
#   user named it; then the tests, a DESTDIR install and the packages.
# - A build without the tests or their dependencies.
# - The portable line path alone (VESK_SIMD=OFF), with every test; SSE2's
#   byte masks must be in the default x86-64 program and in no other.
# - The default program needs the C library and nothing else.
#
# Needs: git dpkg-dev
source "$(dirname "$0")/../lib.sh"

# The command that compiles address_conversion.cpp in the build folder $1.
compile_command() {
  /usr/bin/python3 - "$1/compile_commands.json" <<'PY'
import json, sys
with open(sys.argv[1], encoding="utf-8") as file:
    commands = [entry["command"] for entry in json.load(file)
                if entry["file"].endswith("conversion/address_conversion.cpp")]
if len(commands) != 1:
    sys.exit(f"{sys.argv[1]} has {len(commands)} commands for address_conversion.cpp, not one")
print(commands[0])
PY
}

echo "== the plain idiom with the default generator, from a path with a space, under umask 077 and another time zone"
second="$(mktemp -d)/second clone"
git clone -q . "$second"
(
  cd "$second"
  umask 077
  export TZ=Asia/Tokyo
  cmake -S . -B build | tee build-configure.log
  grep -q 'No build type named: building the optimised Release program' build-configure.log ||
    { echo "configure does not say that it builds the Release program"; exit 1; }
  command=$(compile_command build)
  echo "plain build: $command"
  for flag in -O3 -DNDEBUG -D_FORTIFY_SOURCE=2 -fstack-protector-strong -Wall; do
    [[ " $command " == *" $flag "* ]] || { echo "the plain build lacks $flag"; exit 1; }
  done
  # A build type that the user names is kept, and one without optimisation
  # gets no checked buffer functions, which need the optimiser.
  cmake -S . -B build-debug -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=OFF >/dev/null
  command=$(compile_command build-debug)
  echo "Debug build: $command"
  [[ " $command " == *" -g "* && "$command" != *-O[1-3s]* && "$command" != *_FORTIFY_SOURCE* ]] ||
    { echo "the Debug build is optimised or has _FORTIFY_SOURCE"; exit 1; }
  cmake --build build -j "$(nproc)"
  ctest --test-dir build -j "$(nproc)" --output-on-failure
  cmake --build build --target packages
  stage=$(mktemp -d)
  DESTDIR=$stage cmake --install build --prefix /usr >/dev/null
  for f in bin/vesk-ip-convert share/man/man1/vesk-ip-convert.1.gz \
           share/doc/vesk-ip-convert/copyright share/doc/vesk-ip-convert/changelog.gz; do
    [ -s "$stage/usr/$f" ] || { echo "DESTDIR install lacks /usr/$f"; exit 1; }
  done
  rm -rf "$stage"
)
rm -rf "${second%/*}"

echo "== without tests or their dependencies"
cmake -S . -B build-no-tests -G Ninja -DBUILD_TESTING=OFF \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >/dev/null
cmake --build build-no-tests

echo "== without vector instructions: the portable line path alone"
cmake --workflow --preset portable
build_preset default vesk-ip-convert
# SSE2's byte compare and mask: in the default x86-64 build, and only there.
simd_in() { objdump -d "$1" | grep -c pmovmskb || true; }
[ "$(simd_in build/vesk-ip-convert)" -gt 0 ] ||
  { echo "the default build has no SSE2 mask instruction: vector path not built"; exit 1; }
[ "$(simd_in build-portable/vesk-ip-convert)" -eq 0 ] ||
  { echo "the VESK_SIMD=OFF build still uses SSE2 masks"; exit 1; }

echo "== the program needs the C library and nothing else"
needs_c_library_alone build/vesk-ip-convert
