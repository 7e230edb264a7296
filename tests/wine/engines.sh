#!/usr/bin/env bash
# What engines build on, on the Windows build under Wine: /L lists exactly
# what /C then writes and reports by its status whether anything would; an
# undo file from /U=, imported with reg import /reg:32, gives back the
# registry as it was; /J output survives a pipe with every character.
. "$(dirname "$0")/lib.sh"
mkdir -p "$work/host"
touch "$work/host/QivDLLHost.exe"

# export KEY FILE: a key of the 32-bit view, with everything below it, as UTF-8.
export_key() {
    wine reg export "$1" "$work/export.reg" /y /reg:32 < /dev/null > /dev/null 2>&1
    iconv -f UTF-16LE -t UTF-8 "$work/export.reg" | tr -d '\r' > "$2"
}
state() {
    export_key 'HKCR\CLSID' "$1.clsid"
    export_key 'HKCR\AppID' "$1.appid"
    cat "$1.clsid" "$1.appid" > "$1"
}
# configure ARGS...: the tool from the host's folder; its status, lines in $work/got.
configure() {
    (cd "$work/host" && wine "$tool" "$@" > "$work/raw" 2> /dev/null < /dev/null)
    local status=$?
    tr -d '\r' < "$work/raw" > "$work/got"
    return $status
}

reset_registry
reg_import "$source_dir/examples/providers.reg"
state "$work/before"
configure /C /L
check_true "/C /L over unconfigured providers: status 1" test $? = 1
grep '^    Would write = ' "$work/got" > "$work/listed"
check_true "and it lists writes" test -s "$work/listed"
state "$work/listed-state"
check_true "/L wrote nothing" cmp -s "$work/before" "$work/listed-state"
configure /C
check_true "/C: status 0" test $? = 0
state "$work/after"
changed=$(diff "$work/before" "$work/after" | grep -cE '^> ("|@=)')
check_true "the values /C wrote are the ones /L listed ($changed)" test "$changed" = "$(wc -l < "$work/listed")"
all_present=0
while IFS= read -r line; do
    key=$(sed 's/^    Would write = \[HKEY_CLASSES_ROOT\\\([^]]*\)\] ".*/\1/' <<< "$line")
    name=$(sed 's/^[^]]*\] "\([^"]*\)" = \[.*/\1/' <<< "$line")
    text=$(sed 's/^[^]]*\] "[^"]*" = \[\(.*\)\]$/\1/' <<< "$line")
    [[ $(reg_value "HKCR\\$key" "$name") == "REG_SZ $text" ]] || all_present=1
done < "$work/listed"
check_true "and each holds the text /L gave" test $all_present = 0
configure /C /L
check_true "/C /L over configured providers: status 0" test $? = 0
check_true "and lists nothing" test "$(grep -c '^    Would write' "$work/got")" = 0

# The way back.
reset_registry
reg_import "$source_dir/examples/providers.reg"
state "$work/before"
configure /C /U=undo.reg
check_true "/C /U=undo.reg: status 0" test $? = 0
check_true "the undo file is UTF-16LE with a BOM" test "$(head -c 2 "$work/host/undo.reg" | od -An -tx1 | tr -d ' ')" = fffe
configure /C /U=undo.reg
check_true "an existing undo file is never overwritten: 253" test $? = 253
wine reg import "$work/host/undo.reg" /reg:32 < /dev/null > /dev/null 2>&1
state "$work/restored"
check_true "reg import of the undo file gives back HKCR\\CLSID and HKCR\\AppID as they were" \
    diff -u "$work/before" "$work/restored"

# JSON through a pipe: every character of a non-ASCII host path arrives.
uni=$work/Tälvek-ツール
mkdir -p "$uni" && touch "$uni/QivDLLHost.exe"
(cd "$uni" && wine "$tool" /C /P=Talvek.Alpha /J < /dev/null 2> /dev/null | cat > "$work/json")
check_true "/J output is ASCII" bash -c "LC_ALL=C grep -q '[^ -~]' <(tr -d '\r\n' < '$work/json') && exit 1 || exit 0"
got=$(tr -d '\r' < "$work/json" | python3 -c 'import json, sys; print(json.loads(sys.stdin.readline())["dllSurrogate"])')
check_true "and decodes to the exact path written" test "$got" = "$(windows_path "$uni")\\QivDLLHost.exe"
wine regedit /E "$work/alpha.reg" "HKEY_CLASSES_ROOT\\AppID\\$A" < /dev/null > /dev/null 2>&1
check_true "which is the registry's value" \
    grep -qF "$(windows_path "$uni" | sed 's/\\/\\\\/g')\\\\QivDLLHost.exe" <(iconv -f UTF-16LE -t UTF-8 "$work/alpha.reg")

reset_registry
finish
