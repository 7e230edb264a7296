#!/usr/bin/env bash
# Builds all three presets and runs every test: the unit tests and the native
# end-to-end tests, then the Wine end-to-end tests of both Windows builds.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh || exit 1
jobs=$(nproc)
for preset in linux linux-asan win32 win64; do
    cmake --preset "$preset" > /dev/null || exit 1
    cmake --build --preset "$preset" -j "$jobs" || exit 1
done

export WINEPREFIX=$root/build/wineprefix WINEDEBUG=-all
trap 'WINEPREFIX=$WINEPREFIX wineserver -k > /dev/null 2>&1 || true' EXIT
echo "Creating a Wine prefix in $WINEPREFIX"
scripts/wine-prefix.sh || exit 1

status=0
for preset in linux linux-asan win32 win64; do
    ctest --preset "$preset" -j "$jobs" || status=1
done

version=$(sed -n 's/^#define VANDREL_VERSION_TEXT "\(.*\)"$/\1/p' src/app/version.h)
for arch in win32 win64; do
    if scripts/check-pe.sh "$arch" "build/$arch/Vandrel.exe" "$version"; then
        echo "ok: build/$arch/Vandrel.exe: machine type, imports, manifest and version"
    else
        status=1
    fi
done
echo "Replaying the fuzz corpora and fuzzing each target for 30 seconds"
scripts/fuzz.sh 30 || status=1
echo "Packaging the commit twice to check that the packages are reproducible"
scripts/check-reproducible.sh || status=1
exit $status
