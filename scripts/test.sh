#!/usr/bin/env bash
# Builds all three presets and runs every test: the unit tests and the native
# end-to-end tests, then the Wine end-to-end tests of both Windows builds.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh || exit 1
jobs=$(nproc)
for preset in linux win32 win64; do
    cmake --preset "$preset" > /dev/null || exit 1
    cmake --build --preset "$preset" -j "$jobs" || exit 1
done

export WINEPREFIX=$root/build/wineprefix WINEDEBUG=-all
trap 'WINEPREFIX=$WINEPREFIX wineserver -k > /dev/null 2>&1 || true' EXIT
echo "Creating a Wine prefix in $WINEPREFIX"
scripts/wine-prefix.sh || exit 1

status=0
for preset in linux win32 win64; do
    ctest --preset "$preset" -j "$jobs" || status=1
done
exit $status
