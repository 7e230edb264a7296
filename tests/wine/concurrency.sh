#!/usr/bin/env bash
# Runs started at once under one Wine prefix: two /C runs with different
# hosts and a /S run, five times over. All must finish with status 0 and
# leave every provider completely configured with one of the two hosts.
. "$(dirname "$0")/lib.sh"
mkdir -p "$work/one" "$work/two"
touch "$work/one/QivDLLHost.exe" "$work/two/QivDLLHost.exe"
reset_registry
reg_import "$source_dir/examples/providers.reg"
rounds=5
bad_status=0 bad_state=0
for round in $(seq $rounds); do
    (cd "$work/one" && wine "$tool" /C > /dev/null 2>&1 < /dev/null; echo $? > "$work/s1") &
    (cd "$work/two" && wine "$tool" /C > /dev/null 2>&1 < /dev/null; echo $? > "$work/s2") &
    (cd "$work" && wine "$tool" /S > /dev/null 2>&1 < /dev/null; echo $? > "$work/s3") &
    wait
    [[ $(cat "$work/s1")$(cat "$work/s2")$(cat "$work/s3") == 000 ]] || bad_status=$((bad_status + 1))
    (cd "$work" && wine "$tool" /S < /dev/null 2> /dev/null | tr -d '\r' > "$work/after")
    count=$(grep -c '^   DllSurrogate = \[Z:.*\\\(one\|two\)\\QivDLLHost.exe\]$' "$work/after")
    [[ $count == 6 ]] || bad_state=$((bad_state + 1))
done
check_true "all $((rounds * 3)) concurrent runs ended with status 0" test $bad_status = 0
check_true "every provider ended configured with one of the two hosts" test $bad_state = 0
check_true "Alpha's AppID key is complete" test "$(reg_value 'HKCR\AppID\'"$A" AppID)" = "REG_SZ $A"
echo "[ figures  ] $((rounds * 3)) Windows runs started three at a time under one prefix"
reset_registry
finish
