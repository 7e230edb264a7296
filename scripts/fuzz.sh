#!/usr/bin/env bash
# Builds the libFuzzer targets, replays each one's committed seed corpus, then
# fuzzes each for the given number of seconds (default 60). New inputs go to
# build/fuzz/work-<target>; a crash leaves its input in build/fuzz/artifacts/
# and fails the script: add that input to fuzz/corpus/<target>/ with the fix.
# With --ci, each target makes a fixed number of executions from a fixed seed
# (about 30 s each here), and every machine replays the same run, so that CI
# fails on a regression, never by chance. libFuzzer feeds the values a target
# compares (pointers among them) into its mutations, and the heap's layout
# (it seems) into what it covers, so nothing of the machine may reach them: the seeds are
# read in one order (their names' byte order, handed over as a list, since a
# folder's order is its file system's) into an empty work corpus that is never
# reloaded; the target runs without address space randomisation, in an
# environment of a fixed PATH alone, with one stack limit, no standard input
# and no allocator purge on a timer; and the targets touch no file but their
# own (see each target). Two clones here, in other folders, environments,
# stack limits and load, gave the same work corpora (the fingerprint that ends
# each target's line). Another build of clang's libFuzzer or sanitizers gives
# another run. Every seed, and so every input kept from a finding, is replayed
# first on every machine.
# Usage: fuzz.sh [seconds per target | --ci]
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
declare -A ci_runs=([command_line]=250000 [reg_loader]=70000 [registry_reads]=120000 [hive_store]=30000)
# Built from one path wherever the clone lies (a link to it): the sanitizers
# keep source paths in the binary, and another binary is another run.
root=$PWD
source=/tmp/vandrel-fuzz-source
ln -sfn "$root" "$source" || exit 1
grep -qs "^CMAKE_HOME_DIRECTORY:INTERNAL=$source\$" build/fuzz/CMakeCache.txt || rm -rf build/fuzz
(cd "$source" && cmake --preset fuzz > /dev/null && cmake --build --preset fuzz -j "$(nproc)" > /dev/null) || exit 1

status=0
mkdir -p build/fuzz/artifacts
for target in command_line reg_loader registry_reads hive_store; do
    binary=build/fuzz/fuzz/fuzz_$target
    seeds=fuzz/corpus/$target
    if ! "$binary" -runs=0 "$seeds" > "build/fuzz/replay-$target.log" 2>&1; then
        echo "FAIL: $target: a seed input fails"; tail -20 "build/fuzz/replay-$target.log"; status=1; continue
    fi
    work=build/fuzz/work-$target
    budget=(-max_total_time="$seconds")
    corpora=("$work" "$seeds")
    fixed=()
    if [[ $seconds == --ci ]]; then
        work=build/fuzz/ci-$target
        rm -rf "$work"
        list=build/fuzz/seeds-$target.txt
        (export LC_ALL=C; ls -d "$seeds"/* | sort | paste -sd, -) > "$list"
        budget=(-seed=1 -runs="${ci_runs[$target]}" -reload=0 -purge_allocator_interval=-1 -seed_inputs=@"$list")
        corpora=("$work")
        fixed=(env -i PATH=/usr/bin:/bin)
        if setarch "$(uname -m)" -R true 2> /dev/null; then
            fixed+=(setarch "$(uname -m)" -R)
        else
            echo "note: setarch -R is refused here, so this run may differ from other machines' by chance"
        fi
    fi
    mkdir -p "$work"
    start=$SECONDS
    (ulimit -s 8192 2> /dev/null; exec "${fixed[@]}" "$binary" "${budget[@]}" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix=build/fuzz/artifacts/$target- -print_final_stats=1 "${corpora[@]}") \
        < /dev/null > "build/fuzz/run-$target.log" 2>&1
    result=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "build/fuzz/run-$target.log")
    corpus="$(ls "$work" | wc -l) inputs in the work corpus"
    # The inputs' names are their contents' SHA-1: one line to compare runs by.
    if [[ $seconds == --ci ]]; then
        corpus+=" (fingerprint $(ls "$work" | LC_ALL=C sort | sha1sum | cut -c1-12))"
    fi
    if ((result == 0)); then
        echo "ok: $target: $(ls "$seeds" | wc -l) seeds replayed; ${runs:-?} executions in $((SECONDS - start)) s; $corpus"
    else
        echo "FAIL: $target (see build/fuzz/run-$target.log)"; grep -E "ERROR|SUMMARY|artifact" "build/fuzz/run-$target.log" | head; status=1
    fi
done
exit $status
