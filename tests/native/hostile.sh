#!/usr/bin/env bash
# Hostile input, end to end on the native tool: huge and strange command
# lines, values of every type and size, long key names, 100,000 classes.
# Each case pins a clear outcome.
# Usage: hostile.sh <vandrel> <source dir> <make_registry>
set -u
tool=$1
source_dir=$2
make_registry=$3
. "$source_dir/tests/lib/expect.sh"
mkdir -p "$work/host" && touch "$work/host/QivDLLHost.exe"
cd "$work/host"
export VANDREL_REGISTRY=$work/r.reg
cp "$source_dir/examples/providers.reg" "$VANDREL_REGISTRY"

# Command lines. Linux passes no single argument over 128 KiB (the unit tests
# parse one of 1 MiB in process).
big=$(head -c 131000 /dev/zero | tr '\0' x)
"$tool" "/P=$big" /S > "$work/out" 2>&1
check_true "a 128 KiB ProgID is refused as invalid (254)" test $? = 254
check_true "and echoed whole" grep -qxF "ERROR: Invalid ProgID. [$big]" "$work/out"
"$tool" "$big" > "$work/out" 2>&1
check_true "a 128 KiB unknown argument is reported whole (254)" test $? = 254
check_true "and echoed whole" grep -qxF "ERROR: Unknown parameter.[$big]" "$work/out"
args=()
for _ in $(seq 10000); do args+=(/S); done
"$tool" "${args[@]}" > "$work/out" 2>&1
check_true "10,000 arguments run the show once (0)" test $? = 0 -a "$(grep -c '^Provider DllSurrogate validation. $' "$work/out")" = 1
"$tool" '/P=a"b\c' /S '/X"y' "$(printf '/\xe9\xff')" > "$work/out" 2>&1
check_true "quotes, backslashes and high bytes: unknown (254)" test $? = 254
check_true "the quoted argument is echoed as typed" grep -qxF 'ERROR: Unknown parameter.[/X"y]' "$work/out"
check_true "a high byte in an unknown argument comes out as '?'" grep -qxF 'ERROR: Unknown parameter.[/??]' "$work/out"
"$tool" '/P=a"b\c' /S > "$work/out" 2>&1
check_true "a ProgID with a quote and a backslash is invalid (254)" test $? = 254
check_true "and echoed as typed" grep -qxF 'ERROR: Invalid ProgID. [a"b\c]' "$work/out"
check_true "the registry was not touched" cmp -s "$VANDREL_REGISTRY" "$source_dir/examples/providers.reg"

# Values of every type and size, and long names.
A='{5E1C7A10-3B2D-4C8E-9F01-00000000A1FA}'
long_name=$(printf 'k%.0s' {1..255})
megabyte_hex=$(yes 61,00 | head -n 524288 | paste -sd,)
{
    cat "$source_dir/examples/providers.reg"
    printf '\n[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\%s\\VersionIndependentProgID]\n@=hex(7):61,00,00,00,00,00\n' "$A"
    printf '\n[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\%s]\n"AppID"=hex(1):7b,00,41,00,7d\n' "$A"
    printf '\n[HKEY_CLASSES_ROOT\\AppID\\{A]\n"AppID"="{A"\n"DllSurrogate"=hex(1):%s\n' "$megabyte_hex"
    printf '\n[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\%s\\QIV Provider]\n' "$long_name"
    printf '\n[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\%s\\VersionIndependentProgID]\n@=dword:00000001\n' "$long_name"
} > "$VANDREL_REGISTRY"
"$tool" /S > "$work/out" 2>&1
check_true "odd data shows (0)" test $? = 0
check_true "a REG_MULTI_SZ ProgID reads as empty" grep -qxF "Provider ProgID = []" "$work/out"
check_true "an odd-sized AppID keeps its whole characters and finds its 1 MB host" \
    test "$(grep -c '^   DllSurrogate = \[aa*\]$' "$work/out")" = 1 -a "$(awk 'length == 524308' "$work/out" | wc -l)" = 1
check_true "a class named with 255 characters is shown" grep -qxF "          CLSID = [$long_name]" "$work/out"
"$tool" /C > "$work/out" 2>&1
check_true "and configured (0)" test $? = 0 -a "$(grep -c '^   DllSurrogate = \[Z:' "$work/out")" = 7
VANDREL_REGISTRY=$VANDREL_REGISTRY "$tool" /S > "$work/out" 2>&1
check_true "the 255-character class got its AppID key" test "$(grep -A2 -F "[$long_name]" "$work/out" | grep -c 'DllSurrogate = \[Z:')" = 1

# 100,000 classes, 1,000 of them providers.
"$make_registry" 100000 > "$VANDREL_REGISTRY"
start=$(date +%s%N)
"$tool" /C > "$work/out" 2>&1
status=$?
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
check_true "100,000 classes: /C configures all 1,000 providers (0)" test $status = 0 -a "$(grep -c '^          CLSID = ' "$work/out")" = 1000
echo "[ figures  ] /C over 100,000 classes: ${elapsed} ms"
"$tool" /S > "$work/out" 2>&1
check_true "and /S shows them all with the host" test "$(grep -c '^   DllSurrogate = \[Z:' "$work/out")" = 1000
finish
