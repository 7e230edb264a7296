#!/usr/bin/env bash
# Runs started at once over one registry file take turns: two /C runs with
# different hosts and a /S run, twenty times over. All must finish, the file
# must stay valid, and every provider must end configured as the last
# configuring run asked.
# Usage: concurrency.sh <vandrel> <source dir>
set -u
tool=$1
source_dir=$2
. "$source_dir/tests/lib/expect.sh"
mkdir -p "$work/one" "$work/two"
touch "$work/one/QivDLLHost.exe" "$work/two/QivDLLHost.exe"
export VANDREL_REGISTRY=$work/r.reg
cp "$source_dir/examples/providers.reg" "$VANDREL_REGISTRY"

rounds=20
bad_status=0 mixed=0 invalid=0
for round in $(seq $rounds); do
    (cd "$work/one" && "$tool" /C > "$work/c1" 2>&1; echo $? > "$work/s1") &
    (cd "$work/two" && "$tool" /C > "$work/c2" 2>&1; echo $? > "$work/s2") &
    (cd "$work" && "$tool" /S > "$work/s" 2>&1; echo $? > "$work/s3") &
    wait
    [[ $(cat "$work/s1")$(cat "$work/s2")$(cat "$work/s3") == 000 ]] || bad_status=$((bad_status + 1))
    (cd "$work" && "$tool" /S > "$work/after" 2> "$work/err") || invalid=$((invalid + 1))
    hosts=$(grep '^   DllSurrogate = ' "$work/after" | sort -u | wc -l)
    count=$(grep -c '^   DllSurrogate = \[Z:.*\\\(one\|two\)\\QivDLLHost.exe\]$' "$work/after")
    [[ $hosts == 1 && $count == 6 ]] || mixed=$((mixed + 1))
done
check_true "all $((rounds * 3)) concurrent runs ended with status 0" test $bad_status = 0
check_true "the file stayed valid after every round" test $invalid = 0
check_true "every provider holds the last configuring run's host, every round" test $mixed = 0
check_true "no temporary file was left beside the registry" test "$(ls "$work" | grep -c '^r\.reg\.')" = 0
echo "[ figures  ] $((rounds * 3)) runs started three at a time over one file"
finish
