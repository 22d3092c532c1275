#!/usr/bin/env bash
# libcxx: every test built with clang++ and LLVM's libc++, the C++ library of macOS and the BSDs
#
# The program must build and behave the same with another C++ library than
# Debian's libstdc++, and, like the default one, need only the C library.
#
# Needs: clang libc++-dev libc++abi-dev
source "$(dirname "$0")/../lib.sh"

cmake --workflow --preset libcxx
needs_c_library_alone build-libcxx/vesk-ip-convert
