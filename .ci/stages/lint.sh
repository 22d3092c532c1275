#!/usr/bin/env bash
# lint: clang-tidy on every source file, and clang-format's check
#
# clang-tidy reads its compile commands from the clang and fuzz presets,
# which this stage configures; nothing needs to be built.
#
# Needs: clang clang-tidy clang-format libclang-rt-dev libbenchmark-dev git
source "$(dirname "$0")/../lib.sh"

cmake --preset clang >/dev/null
cmake --preset fuzz >/dev/null
echo "== clang-tidy on every source file"
git ls-files 'conversion/*.cpp' 'console/*.cpp' 'tests/*.cpp' 'bench/*.cpp' |
  xargs -P "$(nproc)" -n 1 clang-tidy -p build-clang --quiet
clang-tidy -p build-fuzz --quiet fuzz/line_fuzzer.cpp fuzz/stream_fuzzer.cpp
echo "== formatting"
git ls-files '*.cpp' '*.hpp' | xargs clang-format --dry-run --Werror
echo "clang-tidy and clang-format: nothing found"
