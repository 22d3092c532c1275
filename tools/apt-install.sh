#!/usr/bin/env bash
# apt-get install with the given arguments. If apt finds no solution, it
# tries once more with the release's security suite left out. A mirror part
# way through a sync can serve that suite's index for amd64 but not for
# i386 (apt-update.sh goes on without it). Multiarch needs the same version
# of a shared library for both, and then none is on offer. Every package
# still comes from a signed index. Needs root.
set -uo pipefail
export DEBIAN_FRONTEND=noninteractive
if apt-get install -y -qq "$@"; then
  exit 0
fi
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
preferences=$(mktemp)
trap 'rm -f "$preferences"' EXIT
printf 'Package: *\nPin: release n=%s-security\nPin-Priority: -1\n' "$codename" >"$preferences"
echo "apt-install: no solution; trying again without $codename-security" >&2
apt-get install -y -qq -o Dir::Etc::Preferences="$preferences" "$@"
