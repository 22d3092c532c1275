#!/usr/bin/env bash
# bench: the benchmark: timings reported, and the guards on instructions a line, starts, the long line and memory checked
#
# Times are shown side by side with cat, the reference converter and the
# static program; they differ from machine to machine. What is guarded is
# what does not: the instructions a line that cachegrind counts, for the
# default program and the portable one, and peak memory. Two time guards
# stay, far from today's figures, where counts cannot see the fault.
#
# Needs: libbenchmark-dev time valgrind musl-dev libc++-dev
source "$(dirname "$0")/../lib.sh"

build_preset static-amd64 vesk-ip-convert
build_preset portable vesk-ip-convert
cmake --preset default -DVESK_BENCH_STATIC="$PWD/build-static-amd64/vesk-ip-convert" \
  -DVESK_BENCH_PORTABLE="$PWD/build-portable/vesk-ip-convert" >/dev/null
cmake --workflow --preset bench
