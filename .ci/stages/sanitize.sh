#!/usr/bin/env bash
# sanitize: every test under AddressSanitizer and UndefinedBehaviorSanitizer
#
# Any finding ends the test at once, so no test passes over one.
#
# Needs: clang libclang-rt-dev
source "$(dirname "$0")/../lib.sh"

cmake --workflow --preset sanitize
