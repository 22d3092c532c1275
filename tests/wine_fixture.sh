#!/bin/sh
# Runs Wine for the tests of a Windows build, in the prefix that WINEPREFIX
# names (each build has its own).
#   wine_fixture.sh setup LOADER    check that LOADER starts, create or update
#                                   the prefix, and start Wine's server
#   wine_fixture.sh cleanup LOADER  stop the prefix's server
# Wine's server and services outlive the program that started them and keep
# its output pipes open, which would leave CTest waiting; so they are started
# here, away from CTest's pipes, before any test runs.
set -u
action=$1
loader=$2
server=$(dirname "$loader")/wineserver

case $action in
setup)
  if [ ! -x "$loader" ]; then
    echo "The Wine loader $loader is not installed, so this build cannot be tested."
    echo "For the 32-bit build, run tools/setup-wine32.sh as root first."
    exit 1
  fi
  if ! "$loader" --version >/dev/null 2>&1; then
    echo "The Wine loader $loader does not start on this machine."
    echo "For the 32-bit build, run tools/setup-wine32.sh as root first: it lets a"
    echo "64-bit-only kernel run 32-bit Wine under qemu (needs root and binfmt_misc)."
    exit 1
  fi
  # Create the prefix once and wait until Wine has finished with it.
  if ! "$loader" wineboot -i </dev/null >/dev/null 2>&1; then
    echo "Could not create the Wine prefix $WINEPREFIX with $loader."
    exit 1
  fi
  # No graphics driver: the tests need none, and Wayland's, which Wine 10
  # tries where X is missing, writes to standard error when it finds no
  # Wayland session.
  "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  "$server" -w
  # A server that stays up, with the prefix's services, so that no test
  # starts them and leaves them holding its pipes.
  "$server" -p </dev/null >/dev/null 2>&1
  "$loader" wineboot </dev/null >/dev/null 2>&1
  ;;
cleanup)
  "$server" -k 2>/dev/null
  "$server" -w
  ;;
esac
