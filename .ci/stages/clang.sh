#!/usr/bin/env bash
# clang: every test built with clang++, beside the readme stage's g++
#
# The program must build without warnings and behave the same with both
# compilers that Debian ships, with GCC's C++ library.
#
# Needs: clang
source "$(dirname "$0")/../lib.sh"

cmake --workflow --preset clang
