#!/usr/bin/env bash
# Builds the two Windows executables in Release and packages them:
# dist/vandrel-<version>-win32.zip, dist/vandrel-<version>-win64.zip (each
# holding Vandrel.exe, README.md, LICENSE and CHANGELOG.md) and
# dist/SHA256SUMS. The packages are reproducible: the same commit gives the
# same bytes whatever the folder and the time of the build.
# Usage: package.sh [dist folder]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dist=$(mkdir -p "${1:-$root/dist}" && cd "${1:-$root/dist}" && pwd)
build=$root/build/package
version=$(sed -n 's/^#define VANDREL_VERSION_TEXT "\(.*\)"$/\1/p' src/app/version.h)

scripts/install-deps.sh
# Every file in the archives carries one date: the commit's, or a fixed one.
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2> /dev/null || echo 1767225600)
fi
export TZ=UTC

declare -A toolchain=([win32]=mingw-i686 [win64]=mingw-x86_64)
rm -f "$dist"/vandrel-*-win*.zip "$dist/SHA256SUMS"
for arch in win32 win64; do
    cmake -S "$root" -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/${toolchain[$arch]}.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF > /dev/null
    cmake --build "$build/$arch" --target vandrel -j "$(nproc)" > /dev/null
    scripts/check-pe.sh "$arch" "$build/$arch/Vandrel.exe" "$version"

    stage=$build/stage-$arch
    rm -rf "$stage" && mkdir -p "$stage"
    cp "$build/$arch/Vandrel.exe" README.md LICENSE CHANGELOG.md "$stage/"
    chmod 0644 "$stage"/*
    touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
    zip_name=vandrel-$version-$arch.zip
    (cd "$stage" && zip -q -X -D "$dist/$zip_name" Vandrel.exe README.md LICENSE CHANGELOG.md)
done
(cd "$dist" && sha256sum "vandrel-$version-win32.zip" "vandrel-$version-win64.zip" > SHA256SUMS)
cat "$dist/SHA256SUMS"
