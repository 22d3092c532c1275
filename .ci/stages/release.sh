#!/usr/bin/env bash
# release: the release command twice, from two clones, gives the same dist/ folder, whose sums, signature and manifests check
#
# tools/release.py runs here in this clone and in a second one under
# umask 077 and another time zone, with a minisign key made for the run
# (no password) and a download address. Then:
# - the two dist/ folders must hold the same files, byte for byte;
# - `sha256sum -c SHA256SUMS` passes, and `minisign -V` accepts the
#   signature, and refuses it once a byte of SHA256SUMS is changed;
# - the winget and Scoop manifests are valid against their schemas;
# - unpacked where there is no git, the source tarball builds with the
#   README's two commands and passes every test, and the packages made
#   there are the release's;
# - the command refuses a tree with changes, and a machine on which a
#   library that the programs are linked from came without the security
#   suite.
#
# Needs: g++-aarch64-linux-gnu g++-arm-linux-gnueabihf g++-i686-linux-gnu
# Needs: libc6:arm64 libc6:armhf libc6:i386 musl-dev musl-dev:arm64 musl-dev:armhf musl-dev:i386
# Needs: libc++-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 groff-base rpm dpkg-dev git
# Needs: wixl msitools faketime minisign python3-jsonschema python3-yaml diffoscope-minimal
source "$(dirname "$0")/../lib.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
url=https://vesk-ip-convert.invalid/releases/$version
minisign -G -W -p "$work/key.pub" -s "$work/key" >/dev/null
unsecured=$(tools/apt-install.sh --without-security)
allow=${unsecured:+--allow-unsecured}

echo "== the release command refuses a tree with changes, and libraries without their security fixes"
git clone -q . "$work/refusals"
touch "$work/refusals/stray-file"
if (cd "$work/refusals" && python3 tools/release.py) >"$work/refusal.log" 2>&1; then
  echo "the release command made a release from a tree with changes"; exit 1
fi
grep -q 'the tree has changes' "$work/refusal.log" || { cat "$work/refusal.log"; exit 1; }
rm "$work/refusals/stray-file"
# As tools/apt-install.sh records a package that it installed without the
# security suite: here the C library's, at the version installed.
dpkg-query -W -f='${binary:Package} ${Version}\n' libc6-dev >"$work/record"
if (cd "$work/refusals" && VESK_APT_RECORD="$work/record" python3 tools/release.py) >"$work/refusal.log" 2>&1; then
  echo "the release command made a release after libc6-dev came without the security suite"; exit 1
fi
grep -q 'libc6-dev' "$work/refusal.log" || { cat "$work/refusal.log"; exit 1; }
echo "refused: $(tail -n 1 "$work/refusal.log")"

echo "== the release, here and in a second clone"
python3 tools/release.py --sign "$work/key" --base-url "$url" $allow
git clone -q . "$work/second clone"
(cd "$work/second clone" && umask 077 && TZ=Asia/Tokyo python3 tools/release.py --sign "$work/key" --base-url "$url" $allow >/dev/null)
dist=dist/$version
other="$work/second clone/dist/$version"
if ! diff -r "$dist" "$other" >/dev/null; then
  for file in $(cd "$dist" && find . -type f); do
    cmp -s "$dist/$file" "$other/$file" || { echo "$file differs:"; diffoscope "$dist/$file" "$other/$file" | head -n 60 || true; }
  done
  diff -r "$dist" "$other" | head
  exit 1
fi
echo "the second clone's dist/ is the same, file for file"
(cd "$other" && sha256sum -c --quiet SHA256SUMS) && echo "sha256sum -c SHA256SUMS: every file checks"
report_packages "$dist"/*.*

echo "== the signature"
minisign -V -q -p "$work/key.pub" -m "$dist/SHA256SUMS"
cp "$dist/SHA256SUMS" "$dist/SHA256SUMS.minisig" "$work/"
printf '0' | dd of="$work/SHA256SUMS" bs=1 seek=0 conv=notrunc 2>/dev/null
if minisign -V -q -p "$work/key.pub" -m "$work/SHA256SUMS" -x "$work/SHA256SUMS.minisig" 2>/dev/null; then
  echo "minisign accepts the signature of a changed SHA256SUMS"; exit 1
fi
echo "minisign accepts the signature, and refuses it once a byte of SHA256SUMS is changed"

echo "== the manifests against their schemas"
/usr/bin/python3 - "$dist" <<'PY'
import glob, json, os, sys
import jsonschema, yaml
dist = sys.argv[1]
checked = []
for path in sorted(glob.glob(os.path.join(dist, "winget", "*.yaml"))):
    manifest = yaml.safe_load(open(path, encoding="utf-8"))
    kind = manifest["ManifestType"]
    with open("packaging/schemas/winget-1.12.0/manifest.%s.1.12.0.json" % kind) as f:
        jsonschema.validate(manifest, json.load(f), cls=jsonschema.Draft7Validator)
    checked.append(os.path.basename(path))
for path in glob.glob(os.path.join(dist, "scoop", "*.json")):
    with open("packaging/schemas/scoop/schema.json") as f:
        jsonschema.validate(json.load(open(path)), json.load(f), cls=jsonschema.Draft7Validator)
    checked.append(os.path.basename(path))
if len(checked) != 4:
    sys.exit("the release has %d manifests, not winget's three and Scoop's: %s" % (len(checked), checked))
print("valid against their schemas: " + " ".join(checked))
PY

echo "== the source tarball, where there is no git"
tar -xzf "$dist/vesk-ip-convert-$version.tar.gz" -C "$work"
unshare --mount --propagation private bash -euo pipefail -c '
  mount --bind /dev/null "$(command -v git)"
  cd "$1"
  ! git --version >/dev/null 2>&1
  cmake --preset default && cmake --build --preset default && ./build/vesk-ip-convert </dev/null
  cmake --workflow --preset default
  cmake --build build --target packages
  cmake --preset windows-x64 -DBUILD_TESTING=OFF >/dev/null
  cmake --build --preset windows-x64 --target packages
' _ "$work/vesk-ip-convert-$version" >"$work/tarball.log" 2>&1 || { tail -n 60 "$work/tarball.log"; exit 1; }
for package in "$work/vesk-ip-convert-$version"/build/packages/* \
               "$work/vesk-ip-convert-$version"/build-windows-x64/packages/*; do
  cmp "$package" "$dist/${package##*/}" || { echo "${package##*/} from the source tarball differs"; exit 1; }
  echo "from the source tarball, with no git: ${package##*/}, the release's bytes"
done
