#!/usr/bin/env bash
# fuzz: each libFuzzer target for 60 seconds over its seed corpus
#
# line_fuzzer checks parsing and formatting against an independent reading;
# stream_fuzzer drives the line reader and output writer over a source and
# a sink whose every answer it chooses, against a plain model of each.
#
# Needs: clang libclang-rt-dev
source "$(dirname "$0")/../lib.sh"

cmake --preset fuzz
cmake --build --preset fuzz
for target in line_fuzzer:fuzz/corpus stream_fuzzer:fuzz/stream_corpus; do
  corpus=$(mktemp -d)
  if ! "build-fuzz/fuzz/${target%%:*}" -max_total_time=60 -print_final_stats=1 \
      "$corpus" "${target#*:}" >"$corpus.log" 2>&1; then
    tail -n 60 "$corpus.log"
    echo "${target%%:*} found a fault"
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$corpus.log" ||
    { tail -n 20 "$corpus.log"; echo "${target%%:*} ran, but reported no runs"; exit 1; }
  rm -rf "$corpus" "$corpus.log"
done
