#!/usr/bin/env bash
# Class keys whose names hold a NUL (made with NtCreateKey): no path can name
# them, so the tool never acts on them as on another key. /S shows no provider
# for them; /C names each one's index, ends with 253, and writes nothing on
# HKCR\CLSID, HKCR\AppID or the class whose name starts theirs.
. "$(dirname "$0")/lib.sh"
codec='{5E1C7A10-3B2D-4C8E-9F01-0000000C0DEC}'  # a class of the example that is no provider
mkdir -p "$work/host"
touch "$work/host/QivDLLHost.exe"
host=$(windows_path "$work/host")\\QivDLLHost.exe

# values KEY: every value of the key itself (not its subkeys), in the 32-bit view.
values() {
    wine reg query "$1" /reg:32 < /dev/null 2> /dev/null | tr -d '\r' | grep -E '^    '
}

reset_registry
reg_import "$source_dir/examples/providers.reg"
wine "$helpers/nul_keys.exe" "$codec" < /dev/null > /dev/null 2>&1
check_true "the keys with NULs were made" test $? = 0
values 'HKCR\CLSID' > "$work/clsid.before"
values 'HKCR\AppID' > "$work/appid.before"

run "/S shows no provider for them" 0 "$work" /S < <(banner; shown_before)
(cd "$work/host" && wine "$tool" /C > "$work/raw" 2> /dev/null < /dev/null)
check_true "/C ends with 253" test $? = 253
tr -d '\r' < "$work/raw" > "$work/got"
check_true "/C names both keys by their index" \
    test "$(grep -c '^ERROR: A class could not be read. \[HKEY_CLASSES_ROOT\\CLSID, subkey [0-9]*\] (error 123)$' "$work/got")" = 2
check_true "/C still configures every provider" test "$(grep -c "^   DllSurrogate = \[$(printf '%s' "$host" | sed 's/[\\.]/\\&/g')\]$" "$work/got")" = 6
check_true "HKCR\\CLSID itself gained no value" diff "$work/clsid.before" <(values 'HKCR\CLSID')
check_true "HKCR\\AppID itself gained no value" diff "$work/appid.before" <(values 'HKCR\AppID')
check_true "the class their name starts with was not configured" test "$(reg_value "HKCR\\CLSID\\$codec" AppID)" = missing
check_true "and got no AppID key" test "$(reg_value "HKCR\\AppID\\$codec" DllSurrogate)" = missing

wine "$helpers/nul_keys.exe" "$codec" delete < /dev/null > /dev/null 2>&1
reset_registry
finish
