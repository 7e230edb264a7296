#!/usr/bin/env bash
# Times the native tool's load of a .reg file as a whole process: from start
# to exit of `/S /P=` of a ProgID that is not there, which loads the file and
# stops. The file holds 100,000 classes, each with its ProgID key
# (bench/make_registry --progids), in UTF-8 and in UTF-16LE as regedit writes
# it. Prints a Markdown table; bench.sh includes it in bench/RESULTS.md.
# Usage: bench-load.sh [repetitions, default 5] [classes, default 100000]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/bench-lib.sh
reps=${1:-5}
classes=${2:-100000}
cmake --preset linux > /dev/null
cmake --build --preset linux --target vandrel make_registry -j "$(nproc)" > /dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/linux/bench/make_registry --progids "$classes" > "$work/utf8.reg"
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$work/utf8.reg"; } > "$work/utf16.reg"

echo "| File | Size | Whole process, min / median | Rate at the median |"
echo "|---|---|---|---|"
for form in utf8 utf16; do
    file=$work/$form.reg
    times=""
    for _ in $(seq "$reps"); do
        start=$(date +%s%N)
        VANDREL_REGISTRY=$file build/linux/vandrel /S /P=No.Such.ProgId > /dev/null 2>&1 || true
        times+=" $(( ($(date +%s%N) - start) / 1000 ))"
    done
    min_median t "$times"
    bytes=$(stat -c %s "$file")
    echo "| $classes classes with ProgID keys, ${form^^} | $(awk "BEGIN {printf \"%.1f MB\", $bytes / 1e6}") |" \
         "$(awk "BEGIN {printf \"%.0f / %.0f ms\", $t_min / 1000, $t_med / 1000}") |" \
         "$(awk "BEGIN {printf \"%.0f MB/s\", $bytes / $t_med}") |"
done
