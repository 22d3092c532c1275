#!/usr/bin/env bash
# readme: the README's two commands, as a new contributor types them in a fresh clone
#
# One builds the program with g++ and starts it (here with no input, so it
# writes its banner and one prompt and ends); the other builds and runs
# every test. Every other stage needs this stage's packages too.
#
# Needs: cmake ninja-build g++ libgtest-dev python3-pytest python3-pyte strace
source "$(dirname "$0")/../lib.sh"

echo "$(. /etc/os-release && echo "$PRETTY_NAME"): $(g++ --version | head -n 1), $(cmake --version | head -n 1)"

cmake --preset default && cmake --build --preset default && ./build/vesk-ip-convert </dev/null
cmake --workflow --preset default
