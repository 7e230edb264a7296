#!/usr/bin/env bash
# The native tool over a .reg file and the Windows build under Wine print the
# same lines for the same registry content (line ends aside).
. "$(dirname "$0")/lib.sh"
native=$source_dir/build/linux/vandrel
check_true "the native build is there" test -x "$native"

mkdir -p "$work/run"
touch "$work/run/QivDLLHost.exe"
cp "$source_dir/examples/providers.reg" "$work/native.reg"
reset_registry
reg_import "$source_dir/examples/providers.reg"
for args in /S /C /S "/S /P=Talvek.Echo" /D "/C /P=NoSuchId" "/D /P=Talvek.Bravo" /S; do
    (cd "$work/run" && VANDREL_REGISTRY=$work/native.reg "$native" $args > "$work/native.out" 2> /dev/null)
    native_status=$?
    (cd "$work/run" && wine "$tool" $args < /dev/null > "$work/wine.raw" 2> /dev/null)
    wine_status=$?
    tr -d '\r' < "$work/wine.raw" > "$work/wine.out"
    check "$args: same lines" "$native_status" "$wine_status" "$work/native.out" "$work/wine.out"
done
reset_registry
finish
