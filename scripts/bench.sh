#!/usr/bin/env bash
# Times a sweep of 1,000, 10,000 and 100,000 classes beside the floor program
# on the same data: the native tool over a .reg file (load, sweep and save
# reported apart) and the win64 build under Wine (the same content imported
# into a prefix). Prints a table and writes it to bench/RESULTS.md.
# Usage: bench.sh [repetitions, default 5] [class counts, default "1000 10000 100000"]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/bench-lib.sh
. scripts/wine-env.sh
root=$PWD
reps=${1:-5}
sizes=${2:-"1000 10000 100000"}

scripts/install-deps.sh
for preset in linux win64; do
    cmake --preset "$preset" > /dev/null
    cmake --build --preset "$preset" --target vandrel floor -j "$(nproc)" > /dev/null
done
cmake --build --preset linux --target make_registry > /dev/null
work=$root/build/bench
rm -rf "$work" && mkdir -p "$work/run"
touch "$work/run/QivDLLHost.exe"
export WINEDEBUG=-all WINEPREFIX=$work/wineprefix
trap 'wineserver -k > /dev/null 2>&1 || true' EXIT

now_ms() { echo $(( $(date +%s%N) / 1000 )) | awk '{printf "%.1f", $1 / 1000}'; }

rows=()
declare -A sweep_s
for n in $sizes; do
    reg=$work/r$n.reg
    build/linux/bench/make_registry "$n" > "$reg"
    bytes=$(stat -c %s "$reg")
    reg16=$work/r$n-utf16.reg  # the same content as regedit writes it: UTF-16LE with a BOM
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$reg"; } > "$reg16"
    bytes16=$(stat -c %s "$reg16")
    export VANDREL_STANDIN_TIMING=1

    # Native: the floor, /S and /C, each timed inside the process.
    floor="" load="" load16="" show="" peak="" peak16="" configure="" save=""
    for _ in $(seq "$reps"); do
        line=$(cd "$work/run" && VANDREL_REGISTRY=$reg "$root/build/linux/bench/floor" marker 2>&1 >/dev/null)
        floor+=" $(sed -n 's/.*sweep \([0-9.]*\) ms.*/\1/p' <<< "$line")"
        line=$(cd "$work/run" && VANDREL_REGISTRY=$reg "$root/build/linux/vandrel" /S 2>&1 >/dev/null)
        load+=" $(field load <<< "$line")"
        show+=" $(field run <<< "$line")"
        peak+=" $(sed -n 's/.*peak \([0-9]*\) KiB.*/\1/p' <<< "$line")"
        line=$(cd "$work/run" && VANDREL_REGISTRY=$reg16 "$root/build/linux/vandrel" /S 2>&1 >/dev/null)
        load16+=" $(field load <<< "$line")"
        peak16+=" $(sed -n 's/.*peak \([0-9]*\) KiB.*/\1/p' <<< "$line")"
        cp "$reg" "$work/c.reg"
        line=$(cd "$work/run" && VANDREL_REGISTRY=$work/c.reg "$root/build/linux/vandrel" /C 2>&1 >/dev/null)
        configure+=" $(field run <<< "$line")"
        save+=" $(field save <<< "$line")"
    done
    unset VANDREL_STANDIN_TIMING
    min_median load "$load"
    min_median load16 "$load16"
    min_median floor "$floor"
    min_median show "$show"
    min_median conf "$configure"
    min_median save "$save"
    read -r peak_min _ <<< "$(stats "$peak")"
    read -r peak16_min _ <<< "$(stats "$peak16")"
    sweep_s[native-$n]=$show_med
    rows+=("| native | $n | $floor_min / $floor_med | $show_min / $show_med | $(awk "BEGIN {printf \"%.2f\", $show_med / $floor_med}") | $conf_min / $conf_med | $load_min / $load_med ($(awk "BEGIN {printf \"%.0f\", $bytes / 1000 / $load_med}") MB/s) | $load16_min / $load16_med ($(awk "BEGIN {printf \"%.0f\", $bytes16 / 1000 / $load16_med}") MB/s) | $save_min / $save_med ($(awk "BEGIN {printf \"%.0f\", $bytes / 1000 / $save_med}") MB/s) | $(awk "BEGIN {printf \"%.0f MiB, %.1fx the file\", $peak_min / 1024, $peak_min * 1024 / $bytes}") | $(awk "BEGIN {printf \"%.0f MiB, %.1fx the file\", $peak16_min / 1024, $peak16_min * 1024 / $bytes16}") |")

    # Wine: a fresh prefix holding the same classes.
    wineserver -k > /dev/null 2>&1 || true
    rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
    wineserver -p < /dev/null > /dev/null 2>&1
    wineboot -i < /dev/null > /dev/null 2>&1
    wine reg import "$reg" /reg:64 < /dev/null > /dev/null 2>&1
    base="" wfloor="" wshow="" wconf=""
    for _ in $(seq "$reps"); do
        t0=$(now_ms); (cd "$work/run" && wine "$root/build/win64/Vandrel.exe" < /dev/null 2> /dev/null | cat > /dev/null || true); t1=$(now_ms)
        base+=" $(awk "BEGIN {print $t1 - $t0}")"
        line=$(cd "$work/run" && wine "$root/build/win64/bench/floor.exe" marker < /dev/null 2>&1 >/dev/null | tr -d '\r')
        wfloor+=" $(sed -n 's/.*sweep \([0-9.]*\) ms.*/\1/p' <<< "$line")"
        t0=$(now_ms); (cd "$work/run" && wine "$root/build/win64/Vandrel.exe" /S < /dev/null 2> /dev/null | cat > /dev/null); t1=$(now_ms)
        wshow+=" $(awk "BEGIN {print $t1 - $t0}")"
        t0=$(now_ms); (cd "$work/run" && wine "$root/build/win64/Vandrel.exe" /C < /dev/null 2> /dev/null | cat > /dev/null); t1=$(now_ms)
        wconf+=" $(awk "BEGIN {print $t1 - $t0}")"
    done
    min_median base "$base"
    min_median wf "$wfloor"
    min_median ws "$wshow"
    min_median wc "$wconf"
    # A run's own sweep: its wall time less that of a run that does nothing.
    ws_med=$(awk "BEGIN {print $ws_med - $base_min}"); ws_min=$(awk "BEGIN {print $ws_min - $base_min}")
    wc_med=$(awk "BEGIN {print $wc_med - $base_min}"); wc_min=$(awk "BEGIN {print $wc_min - $base_min}")
    sweep_s[wine-$n]=$ws_med
    rows+=("| Wine win64 | $n (+ the prefix's own) | $wf_min / $wf_med | $ws_min / $ws_med | $(awk "BEGIN {printf \"%.2f\", $ws_med / $wf_med}") | $wc_min / $wc_med | import into the prefix | n/a | n/a | n/a | n/a |")
done

load_table=$(scripts/bench-load.sh "$reps")
growth=""
for platform in native wine; do
    if [[ -n ${sweep_s[$platform-10000]:-} && -n ${sweep_s[$platform-100000]:-} ]]; then
        growth+="- $platform: /S over 100,000 classes took $(awk "BEGIN {printf \"%.1f\", ${sweep_s[$platform-100000]} / ${sweep_s[$platform-10000]}}") times what 10,000 took (target: at most 12)."$'\n'
    fi
done
{
    echo "# Sweep benchmark"
    echo
    echo "Measured by \`scripts/bench.sh $reps\` on $(date -u +%Y-%m-%d), $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), $(wine --version)."
    echo "Times in milliseconds, minimum / median of $reps runs. The floor program does one RegEnumKeyExW per class and one"
    echo "RegOpenKeyExW of \"<name>\\\\QIV Provider\" relative to the enumerated key. Native times are taken inside the process"
    echo "(the .reg load apart); Wine times are wall times less that of a run that does nothing ($base_min ms for the last size),"
    echo "with the output going to a pipe, as when a script captures it. (Under Wine, output to a character device such as"
    echo "/dev/null or a console cost about 0.5 ms a line until the tool buffered its output.) Absolute Wine times vary by"
    echo "several times between runs on a shared machine, since every registry call is a round trip to the wine server;"
    echo "compare the ratios, which come from one run with the floor and the tool interleaved. Loads are of the UTF-8 file"
    echo "that bench/make_registry writes and of the same content in UTF-16LE with a BOM, as regedit writes it, each in MB/s"
    echo "of its own size; peak memory is the process's whole resident peak."
    echo
    echo "| Platform | Classes | Floor sweep | /S sweep | /S ÷ floor | /C sweep | Load | Load, UTF-16LE form | Save after /C | Peak memory of /S | Peak, UTF-16LE form |"
    echo "|---|---|---|---|---|---|---|---|---|---|---|"
    printf '%s\n' "${rows[@]}"
    echo
    printf '%s' "$growth"
    echo
    echo "## Load as a whole process"
    echo
    echo "Measured by \`scripts/bench-load.sh $reps\`: wall time from start to exit of \`vandrel /S /P=\` of a ProgID that is"
    echo "not there, which loads the file, finds no such provider and stops (the process start, the read, the parse and"
    echo "the exit all count). Target: at least 100 MB/s."
    echo
    printf '%s\n' "$load_table"
} > "$work/RESULTS.md"
cp "$work/RESULTS.md" bench/RESULTS.md
cat bench/RESULTS.md
