#!/usr/bin/env bash
# Measures the fast suite's strength: each small fault of a list is put alone
# into a scratch copy of the work tree (committed or not), built and tested
# with `ctest --preset linux`, then taken out again; a table says which were
# caught (and by which tests), missed, or did not build. On demand only: it is
# not part of scripts/test.sh.
# Usage: mutation-campaign.sh [faults file (scripts/mutants.txt)] [name pattern]
set -uo pipefail
shopt -u patsub_replacement 2> /dev/null || true  # '&' in a replacement is itself
cd "$(dirname "$0")/.."
list=$(realpath "${1:-scripts/mutants.txt}")
pattern=${2:-*}
jobs=$(nproc)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vandrel-mutants.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
chmod 0755 "$scratch"  # the tests run the tool as another user too

git ls-files -co --exclude-standard | while IFS= read -r file; do
    [[ -e $file ]] && printf '%s\0' "$file"
done | xargs -0 cp --parents -t "$scratch"
cd "$scratch"
echo "Building the unchanged tree in $scratch"
cmake --preset linux > /dev/null && cmake --build --preset linux -j "$jobs" > /dev/null ||
    { echo "mutation-campaign: the unchanged tree does not build" >&2; exit 1; }
ctest --preset linux -j "$jobs" --output-on-failure > baseline.log 2>&1 ||
    { echo "mutation-campaign: the unchanged tree fails its tests:" >&2; grep -E "^FAIL|tests FAILED" -A3 baseline.log >&2; exit 1; }

caught=0 missed=0 unbuilt=0
rows=()
# try NAME FILE OLD NEW: one fault, built, tested and undone; a row of the table.
try() {
    local name=$1 file=$2 old=$3 new=$4 text rest verdict tests=""
    IFS= read -r -d '' text < "$file"
    rest=${text#*"$old"}
    if [[ $rest == "$text" || $rest == *"$old"* ]]; then
        rows+=("| $name | not applied: the text is not in $file exactly once | |")
        return
    fi
    cp "$file" "$file.unchanged"
    printf '%s' "${text/"$old"/"$new"}" > "$file"
    if ! cmake --build --preset linux -j "$jobs" > build.log 2>&1; then
        verdict="did not build"; unbuilt=$((unbuilt + 1))
    elif ctest --preset linux -j "$jobs" --timeout 600 > test.log 2>&1; then
        verdict="MISSED"; missed=$((missed + 1))
    else
        verdict="caught"; caught=$((caught + 1))
        tests=$(sed -n -E 's/^[[:space:]]+[0-9]+ - ([^ ]+) .*/\1/p' test.log | head -3 | paste -sd ' ' -)
    fi
    mv "$file.unchanged" "$file"
    touch "$file"  # its object is rebuilt from the unchanged text
    rows+=("| $name | $verdict | $tests |")
    echo "$name: $verdict ${tests:+($tests)}"
}

name="" file="" old="" new="" part=""
while IFS= read -r line || [[ -n $line ]]; do
    case $part in
    old) if [[ $line == "===" ]]; then part=new; else old+=${old:+$'\n'}$line; fi; continue ;;
    new)
        if [[ $line == ">>>" ]]; then
            # shellcheck disable=SC2053
            [[ $name == $pattern ]] && try "$name" "$file" "$old" "$new"
            part="" name="" file=""
        else
            new+=${new:+$'\n'}$line
        fi
        continue ;;
    esac
    if [[ $line == "## "* ]]; then
        name=${line#"## "}; name=${name%%:*}; file="" old="" new=""
    elif [[ $line == "<<<" ]]; then
        part=old
    elif [[ -n $name && -z $file && -n $line && $line != "#"* ]]; then
        file=$line
    fi
done < "$list"

echo
echo "| fault | result | first tests that failed |"
echo "|---|---|---|"
printf '%s\n' "${rows[@]}"
echo
echo "caught $caught, missed $missed, did not build $unbuilt"
