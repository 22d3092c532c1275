#!/usr/bin/env bash
# apt-get update, tried again while a mirror is part-way through a sync
# ("File has unexpected size ... Mirror sync in progress?"). If some index
# still cannot be fetched after three tries, it goes on with the indexes that
# came, and says so: the install that follows fails, naming the package, if
# it needed that index. Needs root.
set -uo pipefail
for try in 1 2 3; do
  if apt-get update -qq; then
    exit 0
  fi
  echo "apt-update: apt-get update failed (try $try of 3)" >&2
  ((try == 3)) || sleep 30
done
echo "apt-update: warning: some package indexes could not be fetched; going on without them" >&2
