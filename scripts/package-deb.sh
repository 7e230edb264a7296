#!/usr/bin/env bash
# Builds the native tool as a Debian package, vandrel_<version>_amd64.deb, in
# the given folder: /usr/bin/vandrel and the WIM command /usr/bin/vandrel-wim
# (which needs wimtools), their manual pages, and the
# README, copyright and changelogs under /usr/share/doc/vandrel/. Built with
# Debian's build flags (hardening, paths made relative) and dpkg's own tools;
# its dependencies are what dpkg-shlibdeps finds the binary needs, and
# wimtools for the WIM command. The same
# commit gives the same bytes: every file carries SOURCE_DATE_EPOCH, owners
# are root, modes fixed. Called by scripts/package.sh.
# Usage: package-deb.sh <out folder>
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$1
fail() { echo "package-deb: $*" >&2; exit 1; }
version=$(sed -n 's/^#define VANDREL_VERSION_TEXT "\(.*\)"$/\1/p' src/app/version.h)
: "${SOURCE_DATE_EPOCH:?}"
export TZ=UTC LC_ALL=C.UTF-8
arch=$(dpkg --print-architecture)
maintainer="The Vandrel developers <vandrel@example.org>"

build=$root/build/package/deb
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=None -DBUILD_TESTING=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" > /dev/null
cmake --build "$build" --target vandrel -j "$(nproc)" > /dev/null

stage=$build/stage
doc=$stage/usr/share/doc/vandrel
rm -rf "$stage"
mkdir -p "$stage/DEBIAN" "$stage/usr/bin" "$stage/usr/share/man/man1" "$doc"
install -m 0755 "$build/vandrel" "$stage/usr/bin/vandrel"
install -m 0755 wim/vandrel-wim "$stage/usr/bin/vandrel-wim"
strip --remove-section=.comment --remove-section=.note --strip-unneeded "$stage/usr/bin/vandrel"
for page in vandrel vandrel-wim; do
    sed "s/@VERSION@/$version/" "docs/$page.1" | gzip -9n > "$stage/usr/share/man/man1/$page.1.gz"
done
gzip -9n < README.md > "$doc/README.md.gz"
gzip -9n < CHANGELOG.md > "$doc/changelog.gz"
{
    echo "vandrel ($version) unstable; urgency=medium"
    echo
    echo "  * Vandrel $version, built from its own source: see changelog.gz."
    echo
    echo " -- $maintainer  $(date -R -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n > "$doc/changelog.Debian.gz"
{
    echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
    echo "Upstream-Name: Vandrel"
    echo
    echo "Files: *"
    echo "Copyright: 2026 The Vandrel developers"
    echo "License: proprietary"
    sed 's/^$/./; s/^/ /' LICENSE
} > "$doc/copyright"

# The dependencies the binary has, as dpkg-shlibdeps finds them.
shlibs=$build/shlibs
rm -rf "$shlibs" && mkdir -p "$shlibs/debian"
printf 'Source: vandrel\n\nPackage: vandrel\nArchitecture: any\n' > "$shlibs/debian/control"
depends=$(cd "$shlibs" && dpkg-shlibdeps -O "$stage/usr/bin/vandrel" 2> "$build/shlibdeps.log" |
    sed -n 's/^shlibs:Depends=//p') || fail "dpkg-shlibdeps failed: $(head -3 "$build/shlibdeps.log")"
[[ -n $depends ]] || fail "dpkg-shlibdeps found no dependencies"

size=$(du -sk --apparent-size --exclude=DEBIAN "$stage" | cut -f1)
cat > "$stage/DEBIAN/control" << EOF
Package: vandrel
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $size
Depends: $depends, wimtools (>= 1.13)
Section: admin
Priority: optional
Description: surrogate host of Talvek providers in offline Windows registries
 Shows the DllSurrogate registration of the Talvek middleware's providers, or
 sets it to the middleware's companion host or to the system's default, in
 the SOFTWARE hive of an offline Windows image (through libhivex) or in a
 registry file that regedit exported, or in the images of a WIM or ESD file
 (vandrel-wim). What a run does not change stays in the file exactly as it
 was; every outcome has its own exit status.
EOF
(cd "$stage" && find usr -type f | sort | xargs md5sum > DEBIAN/md5sums)
find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f ! -path "$stage/usr/bin/*" -exec chmod 0644 {} +
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
mkdir -p "$out"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$out/vandrel_${version}_$arch.deb" > /dev/null
