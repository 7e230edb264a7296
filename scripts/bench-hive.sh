#!/usr/bin/env bash
# Times the native tool over an offline SOFTWARE hive beside the hive floor
# program (each class's name and a lookup of its "QIV Provider" subkey through
# libhivex, nothing else) on the same hive: the load, the /S and /C sweeps and
# the save reported apart, and the peak memory beside the hive's size. The
# hives hold bench/make_registry's content, written in one pass by make_hive
# --direct (compact, as Windows keeps a hive) and, for the smallest size, also
# key by key through libhivex (make_hive) and through chntpw's reged -I, whose
# hives are larger and laid out otherwise.
# Prints a table and writes it to bench/RESULTS-hive.md.
# Usage: bench-hive.sh [repetitions, default 5] [class counts, default "10000 100000"]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/bench-lib.sh
root=$PWD
reps=${1:-5}
sizes=${2:-"10000 100000"}

scripts/install-deps.sh native
cmake --preset linux > /dev/null
cmake --build --preset linux --target vandrel hive_floor make_registry make_hive -j "$(nproc)" > /dev/null
work=$root/build/bench-hive
rm -rf "$work" && mkdir -p "$work/run"
touch "$work/run/QivDLLHost.exe"


# hive WRITER CLASSES: writes $work/<writer><classes>.hiv and names it in $hive.
make_hive_of() {
    hive=$work/$1$2.hiv
    case $1 in
        compact) build/linux/tests/make_hive --direct "$hive" "$work/r$2.reg" ;;
        libhivex) build/linux/tests/make_hive "$hive" "$work/r$2.reg" ;;
        reged)
            build/linux/tests/make_hive "$hive"
            sed 's/^\[HKEY_CLASSES_ROOT/[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes/' "$work/r$2.reg" > "$work/r$2-hklm.reg"
            # reged's status is not its outcome: the sweep below shows what the hive holds.
            reged -I -C "$hive" 'HKEY_LOCAL_MACHINE\SOFTWARE' "$work/r$2-hklm.reg" > /dev/null 2>&1 || true ;;
    esac
}

smallest=$(tr ' ' '\n' <<< "$sizes" | sort -n | head -1)
rows=()
for n in $sizes; do
  build/linux/bench/make_registry "$n" > "$work/r$n.reg"
  writers=compact
  [[ $n == "$smallest" ]] && writers="compact libhivex reged"
  for writer in $writers; do
    make_hive_of "$writer" "$n"
    bytes=$(stat -c %s "$hive")
    floor="" load="" show="" peak="" configure="" save="" cpeak=""
    for _ in $(seq "$reps"); do
        line=$(build/linux/bench/hive_floor "$hive" 2>&1)
        floor+=" $(sed -n 's/.*sweep \([0-9.]*\) ms.*/\1/p' <<< "$line")"
        line=$(cd "$work/run" && VANDREL_STANDIN_TIMING=1 VANDREL_HIVE=$hive VANDREL_SYSTEM_DRIVE=$work/run \
            "$root/build/linux/vandrel" /S 2>&1 >/dev/null | tail -1)
        load+=" $(field load <<< "$line")"
        show+=" $(field run <<< "$line")"
        peak+=" $(sed -n 's/.*peak \([0-9]*\) KiB.*/\1/p' <<< "$line")"
        cp "$hive" "$work/c.hiv"
        line=$(cd "$work/run" && VANDREL_STANDIN_TIMING=1 VANDREL_HIVE=$work/c.hiv VANDREL_SYSTEM_DRIVE=$work/run \
            "$root/build/linux/vandrel" /C 2>&1 >/dev/null | tail -1)
        configure+=" $(field run <<< "$line")"
        save+=" $(field save <<< "$line")"
        cpeak+=" $(sed -n 's/.*peak \([0-9]*\) KiB.*/\1/p' <<< "$line")"
    done
    min_median floor "$floor"
    min_median load "$load"
    min_median show "$show"
    min_median conf "$configure"
    min_median save "$save"
    read -r peak_min _ <<< "$(stats "$peak")"
    read -r cpeak_min _ <<< "$(stats "$cpeak")"
    mib() { awk "BEGIN {printf \"%.0f MiB (%.2fx the hive)\", $1 / 1024, $1 * 1024 / $bytes}"; }
    rows+=("| $n | $writer | $(awk "BEGIN {printf \"%.1f\", $bytes / 1048576}") MiB | $floor_min / $floor_med | $show_min / $show_med | $(awk "BEGIN {printf \"%.2f\", $show_med / $floor_med}") | $conf_min / $conf_med | $(awk "BEGIN {printf \"%.2f\", $conf_med / $floor_med}") | $load_min / $load_med | $save_min / $save_med | $(mib "$peak_min") | $(mib "$cpeak_min") |")
  done
done
{
    echo "# Offline hive benchmark"
    echo
    echo "Measured by \`scripts/bench-hive.sh $reps\` on $(date -u +%Y-%m-%d), $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), libhivex $(pkg-config --modversion hivex)."
    echo "Times in milliseconds, minimum / median of $reps runs, taken inside the process (VANDREL_STANDIN_TIMING)."
    echo "The floor opens the hive as the tool does (not timed) and then, for each class of the 32-bit view's CLSID"
    echo "key, reads its name and looks its \"QIV Provider\" subkey up through libhivex. One class in a hundred is a"
    echo "provider. Targets: /S and /C at most 1.2x the floor; peak memory at most 1.5x the hive plus 20 MiB."
    echo
    echo "| Classes | Written by | Hive | Floor sweep | /S sweep | /S ÷ floor | /C sweep | /C ÷ floor | Load | Save after /C | Peak of /S | Peak of /C |"
    echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
    printf '%s\n' "${rows[@]}"
} > "$work/RESULTS-hive.md"
cp "$work/RESULTS-hive.md" bench/RESULTS-hive.md
cat bench/RESULTS-hive.md
