#!/usr/bin/env bash
# Packages the current commit twice, from two clones in different folders and
# at different times, and checks that the executables, the zips and the
# Debian package are identical.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for n in one two; do
    git clone -q "$root" "$work/$n-$RANDOM"
done
clones=("$work"/*)
(cd "${clones[0]}" && scripts/package.sh "$work/dist-a" > /dev/null)
sleep 2
(cd "${clones[1]}" && scripts/package.sh "$work/dist-b" > /dev/null)
status=0
for arch in win32 win64; do
    a=$(sha256sum < "${clones[0]}/build/package/$arch/Vandrel.exe")
    b=$(sha256sum < "${clones[1]}/build/package/$arch/Vandrel.exe")
    if [[ $a == "$b" ]]; then echo "ok: $arch Vandrel.exe is the same in both builds"; else echo "FAIL: $arch Vandrel.exe differs"; status=1; fi
done
if cmp -s "$work/dist-a/SHA256SUMS" "$work/dist-b/SHA256SUMS"; then
    echo "ok: both zips and the Debian package are the same in both packages"
    cat "$work/dist-a/SHA256SUMS"
else
    echo "FAIL: the packages differ"
    diff "$work/dist-a/SHA256SUMS" "$work/dist-b/SHA256SUMS" || true
    status=1
fi
exit $status
