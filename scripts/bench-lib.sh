# Shared by the benchmark scripts: statistics of repeated timings.

# stats "v1 v2 ...": "min median" of the values.
stats() {
    tr ' ' '\n' <<< "$1" | grep . | sort -g | awk '{v[NR] = $1} END {printf "%.1f %.1f", v[1], (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
# field WORD: the number after a word in a timing line on stdin.
field() { sed -n "s/.*$1 \([0-9.]*\) .*/\1/p"; }
# min_median NAME "v1 v2 ...": sets NAME_min and NAME_med.
min_median() {
    local min med
    read -r min med <<< "$(stats "$2")"
    printf -v "$1_min" '%s' "$min"
    printf -v "$1_med" '%s' "$med"
}
