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

. scripts/wine-env.sh
export WINEPREFIX=$root/build/wineprefix WINEDEBUG=-all
trap 'WINEPREFIX=$WINEPREFIX wineserver -k > /dev/null 2>&1 || true' EXIT
echo "Creating a Wine prefix in $WINEPREFIX"
scripts/wine-prefix.sh || exit 1

status=0
passed=0
failed=0
skipped=0
# count OK: one more check passed or failed.
count() { if [[ $1 == 0 ]]; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi; }
for preset in linux linux-asan win32 win64; do
    ctest --preset "$preset" -j "$jobs" 2>&1 | tee build/ctest-$preset.log
    [[ ${PIPESTATUS[0]} == 0 ]] || status=1
    total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' build/ctest-$preset.log | tail -1)
    bad=$(sed -n 's/.*passed, \([0-9]*\) tests failed out of.*/\1/p' build/ctest-$preset.log | tail -1)
    skips=$(grep -c '(Skipped)$' build/ctest-$preset.log)
    passed=$((passed + ${total:-0} - ${bad:-0} - skips))
    failed=$((failed + ${bad:-0}))
    skipped=$((skipped + skips))
    [[ -n $total ]] || count 1
done

version=$(sed -n 's/^#define VANDREL_VERSION_TEXT "\(.*\)"$/\1/p' src/app/version.h)
for arch in win32 win64; do
    if scripts/check-pe.sh "$arch" "build/$arch/Vandrel.exe" "$version"; then
        echo "ok: build/$arch/Vandrel.exe: machine type, imports, manifest and version"
        count 0
    else
        count 1
    fi
done
echo "Replaying the fuzz corpora and fuzzing each target (a fixed seed and number of executions)"
scripts/fuzz.sh --ci
count $?
echo "Checking the Debian package: files, fields, lintian, manual page, the packaged tool"
scripts/check-deb.sh build/linux/vandrel
count $?
echo "Packaging the commit twice to check that the packages are reproducible"
scripts/check-reproducible.sh
count $?
echo "Signing the packages with a throwaway certificate and verifying them"
scripts/check-signing.sh
count $?
if [[ $VANDREL_WINE_64_ONLY == 1 ]]; then
    echo "skipped: the 32-bit build's Wine tests, since this kernel cannot run 32-bit x86 programs (no IA32 emulation)"
fi
echo "summary: $passed passed, $failed failed, $skipped skipped"
exit $status
