#!/usr/bin/env bash
# Checks a built Vandrel.exe with binutils' own PE reader: the machine type of
# its architecture, only Windows system DLLs imported, the manifest asking for
# asInvoker without uiAccess, and the version resource holding the version.
# Usage: check-pe.sh <win32|win64> <Vandrel.exe> <version>
set -uo pipefail
arch=$1 exe=$2 version=$3
objdump=x86_64-w64-mingw32-objdump
failed=0
fail() { echo "check-pe: $exe: $*" >&2; failed=1; }

case $arch in
    win32) want_format=pei-i386 want_arch="architecture: i386," ;;
    win64) want_format=pei-x86-64 want_arch="architecture: i386:x86-64," ;;
    *) echo "check-pe: unknown architecture $arch" >&2; exit 2 ;;
esac
header=$($objdump -f "$exe") || fail "not readable as a PE file"
grep -q "file format $want_format" <<< "$header" || fail "not $want_format"
grep -q "$want_arch" <<< "$header" || fail "machine type is not ${want_arch#architecture: }"

system_dlls='^(ADVAPI32|KERNEL32|msvcrt|ole32|USER32|SHELL32|api-ms-win-[a-z0-9-]+)\.dll$'
imports=$($objdump -p "$exe" | sed -n 's/^\tDLL Name: //p')
[[ -n $imports ]] || fail "no imports found"
while read -r dll; do
    [[ -z $dll ]] || grep -Eqi "$system_dlls" <<< "$dll" || fail "imports $dll, which is not a Windows system DLL"
done <<< "$imports"

text=$(strings -a "$exe")
grep -q 'requestedExecutionLevel level="asInvoker" uiAccess="false"' <<< "$text" ||
    fail "the manifest does not ask for asInvoker with uiAccess false"
resource=$(strings -a -el "$exe")
grep -qx ProductVersion <<< "$resource" && grep -qx "$version" <<< "$resource" ||
    fail "the version resource does not hold $version"
exit $failed
