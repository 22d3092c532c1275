# Shell code that CI's stages share. Each stage sources it first: it stops
# at the first command that fails, works from the top of the checkout, and
# gives every stage the same umask and time zone, since packages built here
# are compared with ones built under others.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
umask 022
export TZ=UTC
unset SOURCE_DATE_EPOCH
# The tests' Python is Debian's, with python3-pytest and python3-pyte,
# whatever python3 comes first on PATH.
export Python3_ROOT_DIR=/usr
export WINEDEBUG=-all
# Every workflow's tests run side by side, one for each processor: most of
# a build's test time is one long test under an emulator.
CTEST_PARALLEL_LEVEL=$(nproc)
export CTEST_PARALLEL_LEVEL

# The project's version, as project() in CMakeLists.txt gives it.
version=$(sed -n 's/^project(vesk-ip-convert VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# The emulator that runs the programs of the build in folder $1, as its
# toolchain file chose it (CMAKE_CROSSCOMPILING_EMULATOR), its words
# separated by spaces; nothing for this machine's own programs.
emulator_of() {
  sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=//p' "$1/CMakeCache.txt" | tr ';' ' '
}

# Builds preset $1, configuring it first where it has not been: its
# preset's targets, or those named after it. For a stage that needs the
# output of another, which may not have run.
build_preset() {
  local preset=$1 folder=build-$1
  shift
  [ "$preset" = default ] && folder=build
  [ -f "$folder/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" ${1:+--target "$@"}
}

# One line for each package named: its size and SHA-256, and the packages
# that were installed on this machine without the security suite, which
# the package may hold code of (tools/apt-install.sh).
report_packages() {
  local unsecured
  unsecured=$(tools/apt-install.sh --without-security | cut -d' ' -f1 | tr '\n' ' ')
  for package in "$@"; do
    echo "package: $package, $(stat -c %s "$package") bytes, sha256 $(sha256sum <"$package" | cut -c1-64)" \
         "${unsecured:+(built after installing without the security suite: $unsecured)}"
  done
}

# Fails unless the program $1 needs the C library and no other shared
# library: the C++ runtime must not be linked in.
needs_c_library_alone() {
  local needed
  needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
  [ -n "$needed" ] || { echo "readelf -d lists no NEEDED library for $1: not understood"; exit 1; }
  echo "$1 needs: $needed"
  [ "$needed" = "libc.so.6 " ] || { echo "$1 needs more than the C library"; exit 1; }
}
