#!/usr/bin/env bash
# reproduce: every package made again from a second clone, under another umask and time zone, must be byte-identical
#
# Then reprotest builds the Debian package twice, varying the build path,
# umask, time zone, environment, home, locales, PATH, CPU count and
# address-space layout between the builds. A difference is shown with
# diffoscope. Packages not yet made here, by the stages that make them, are
# made first.
#
# Needs: g++-aarch64-linux-gnu g++-arm-linux-gnueabihf g++-i686-linux-gnu
# Needs: libc6:arm64 libc6:armhf libc6:i386 musl-dev musl-dev:arm64 musl-dev:armhf musl-dev:i386
# Needs: libc++-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 groff-base rpm dpkg-dev git
# Needs: reprotest diffoscope-minimal
source "$(dirname "$0")/../lib.sh"

presets=(default windows-x86 windows-x64 linux-arm64 linux-armhf linux-i386
         static-amd64 static-arm64 static-armhf static-i386)
second=$(mktemp -d)/clone
git clone -q . "$second"
for preset in "${presets[@]}"; do
  build_preset "$preset" packages >/dev/null
  (
    cd "$second"
    umask 077
    export TZ=Asia/Tokyo
    cmake --preset "$preset" -DBUILD_TESTING=OFF -DVESK_BUILD_BENCHMARKS=OFF >/dev/null
    cmake --build --preset "$preset" --target packages >/dev/null
  )
  folder=build-$preset
  [ "$preset" = default ] && folder=build
  for package in "$folder"/packages/*; do
    other="$second/$package"
    if ! cmp -s "$package" "$other"; then
      echo "$package differs when built elsewhere:"
      diffoscope "$package" "$other" | head -n 100 || true
      exit 1
    fi
    echo "reproducible: $package"
  done
  report_packages "$folder"/packages/*
done
rm -rf "${second%/*}"

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
