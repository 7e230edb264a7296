#!/usr/bin/env bash
# A whole registry exported by Wine's regedit loads into the native stand-in
# and is written back byte for byte; changing one value changes one line.
. "$(dirname "$0")/lib.sh"
roundtrip=$source_dir/build/linux/tests/reg_roundtrip
check_true "the native round-trip helper is there" test -x "$roundtrip"

wine regedit /E "$work/export.reg" < /dev/null > /dev/null 2>&1
check_true "regedit exported the prefix's registry" test -s "$work/export.reg"
"$roundtrip" "$work/export.reg" > "$work/saved.reg"
check_true "an unchanged registry is written back unchanged" cmp -s "$work/export.reg" "$work/saved.reg"

key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion'
"$roundtrip" "$work/export.reg" "$key" CurrentBuild "99999" > "$work/changed.reg"
iconv -f UTF-16LE -t UTF-8 "$work/export.reg" > "$work/a.txt"
iconv -f UTF-16LE -t UTF-8 "$work/changed.reg" > "$work/b.txt"
diff "$work/a.txt" "$work/b.txt" > "$work/diff.txt"
check_true "one changed value changes exactly one line" test "$(grep -c '^[<>]' "$work/diff.txt")" = 2
check_true "and it is that value" grep -q '^> "CurrentBuild"="99999"' "$work/diff.txt"
finish
