#!/usr/bin/env bash
# Installs those of the named Debian packages that this machine lacks. CI's
# stages install through it, and so can a contributor. Needs root.
#
#   tools/apt-install.sh PACKAGE...
#   tools/apt-install.sh --without-security
#
# A PACKAGE is a name; NAME:ARCH for another architecture's, which adds ARCH
# to dpkg's architectures, as multiarch needs; or NAME/backports for the
# version in the release's backports suite, which adds that suite to apt's
# sources from the mirror that the release comes from. A backports package
# is installed without what it recommends, which would bring more of
# backports with it (for qemu-user, systemd's libraries, whose i386
# versions Wine would then have to match).
#
# apt-get update is tried three times while a mirror is part way through a
# sync ("File has unexpected size ... Mirror sync in progress?"), and then
# goes on with the indexes that came. Such a mirror can serve the security
# suite's index for amd64 but not for i386, and multiarch needs the same
# version of a shared library for both, so apt then finds no solution. The
# install is then made once more with the security suite left out. Every
# package still comes from a signed index, but one may lack its security
# fixes, and a package built from it would too: the packages installed that
# way are named on standard error and recorded with their versions in
# RECORD below. --without-security prints those of them that are still
# installed at that version; CI's summary shows them, and the release
# command refuses to run while one that the programs are linked from is
# among them.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
# VESK_APT_RECORD names another record, for CI's check that the release
# command refuses such a machine.
record=${VESK_APT_RECORD:-/var/lib/vesk-ip-convert/installed-without-security}

fail() {
  echo "apt-install: $*" >&2
  exit 1
}

installed_packages() {
  dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package} ${Version}\n' | sed -n 's/^ii  *//p'
}

if [ "${1:-}" = --without-security ]; then
  [ -s "$record" ] || exit 0
  # Those recorded that are installed at the same version still.
  installed_packages | grep -Fxf "$record" || true
  exit 0
fi
(($#)) || fail "usage: apt-install.sh PACKAGE... | --without-security"

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || fail "cannot tell the Debian release from /etc/os-release"
changed=0

# The mirror and keyring of the stanza that serves the release itself, from
# deb822 .sources files or one-line .list files.
add_backports() {
  local mirror keyring list=/etc/apt/sources.list.d/vesk-backports.sources
  read -r mirror keyring < <(
    shopt -s nullglob
    awk -v suite="$codename" '
      function flush() { if (hit && uri != "" && !found) { print uri, (key == "" ? "-" : key); found = 1 }
                         hit = 0; uri = ""; key = "" }
      FNR == 1 { flush() }
      /^[[:space:]]*$/ { flush(); next }
      tolower($1) == "uris:" { uri = $2 }
      tolower($1) == "signed-by:" { key = $2 }
      tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == suite) hit = 1 }
      END { flush() }' /etc/apt/sources.list.d/*.sources
    sed -E 's/\[[^]]*\]//' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
      awk -v suite="$codename" '$1 == "deb" && $3 == suite { print $2, "-"; exit }'
  ) || true
  [ -n "${mirror:-}" ] || fail "no apt source for '$codename' to take the backports mirror from"
  {
    echo "Types: deb"
    echo "URIs: $mirror"
    echo "Suites: $codename-backports"
    echo "Components: main"
    [ "$keyring" = "-" ] || echo "Signed-By: $keyring"
  } >"$list.new"
  if cmp -s "$list.new" "$list"; then
    rm -f "$list.new"
  else
    mv "$list.new" "$list"
    changed=1
  fi
}

is_installed() {
  [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null)" = "ii " ]
}

plain=() backports=()
for package in "$@"; do
  case $package in
    */backports)
      name=${package%/backports}
      is_installed "$name" && [[ $(dpkg-query -W -f='${Version}' "$name") == *bpo* ]] ||
        backports+=("$name")
      ;;
    *)
      if [[ $package == *:* ]] &&
         ! dpkg --print-foreign-architectures | grep -qx "${package#*:}" &&
         [ "${package#*:}" != "$(dpkg --print-architecture)" ]; then
        dpkg --add-architecture "${package#*:}"
        changed=1
      fi
      is_installed "$package" || plain+=("$package")
      ;;
  esac
done
[[ " $* " != */backports\ * ]] || add_backports
((changed || ${#plain[@]} || ${#backports[@]})) || exit 0

for try in 1 2 3; do
  apt-get update -qq && break
  echo "apt-install: apt-get update failed (try $try of 3)" >&2
  if ((try == 3)); then
    echo "apt-install: warning: some package indexes could not be fetched; going on without them" >&2
  else
    sleep 30
  fi
done
((${#plain[@]} || ${#backports[@]})) || exit 0
echo "apt-install: installing ${backports[*]/%//backports} ${plain[*]}" >&2

log=$(mktemp)
trap 'rm -f "$log" "$log.pin" "$log.before"' EXIT
# Installs the lacking packages, with apt's options given.
install_lacking() {
  if ((${#backports[@]})); then
    apt-get install -y -qq "$@" --no-install-recommends -t "$codename-backports" \
      "${backports[@]}" >>"$log" 2>&1 || return 1
  fi
  if ((${#plain[@]})); then
    apt-get install -y -qq "$@" "${plain[@]}" >>"$log" 2>&1 || return 1
  fi
}
installed_packages | sort >"$log.before"
if install_lacking; then
  exit 0
fi
tail -n 20 "$log" >&2
echo "apt-install: no solution; trying again without $codename-security" >&2
printf 'Package: *\nPin: release n=%s-security\nPin-Priority: -1\n' "$codename" >"$log.pin"
if ! install_lacking -o Dir::Etc::Preferences="$log.pin"; then
  tail -n 40 "$log" >&2
  fail "could not install ${backports[*]} ${plain[*]}"
fi
mkdir -p "${record%/*}"
installed_packages | sort | comm -13 "$log.before" - | tee -a "$record" |
  sed 's/^/apt-install: WITHOUT SECURITY FIXES: /' >&2
