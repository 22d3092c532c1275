#!/usr/bin/env bash
# reproduce: reprotest builds the Debian package twice, varying everything a builder's machine may vary, and it must come out the same
#
# Between the two builds reprotest varies the build path, umask, time zone,
# environment, home, locales, PATH, CPU count and address-space layout. The
# release stage makes every package twice, from two clones; this stage
# varies what that cannot.
#
# Needs: dpkg-dev git reprotest diffoscope-minimal
source "$(dirname "$0")/../lib.sh"

clean=$(mktemp -d)/clone
git clone -q . "$clean"
if ! (cd "$clean" && reprotest --variations=-all,+build_path,+umask,+timezone,+environment,+home,+locales,+exec_path,+num_cpus,+aslr \
     --store-dir="$(mktemp -d)" \
     'cmake --preset default -DBUILD_TESTING=OFF -DVESK_BUILD_BENCHMARKS=OFF >/dev/null && cmake --build --preset package >/dev/null' \
     'build/packages/*.deb') >"$clean.log" 2>&1; then
  tail -n 100 "$clean.log"
  echo "reprotest finds the Debian package unreproducible"
  exit 1
fi
grep -A1 'Reproduction successful' "$clean.log" ||
  { tail -n 30 "$clean.log"; echo "reprotest passed without saying that the builds reproduced"; exit 1; }
rm -rf "${clean%/*}"
