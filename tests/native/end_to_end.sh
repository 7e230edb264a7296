#!/usr/bin/env bash
# The native tool run as a user runs it, over copies of the example registry.
# Usage: end_to_end.sh <vandrel> <source dir>
set -u
tool=$1
source_dir=$2
. "$source_dir/tests/lib/expect.sh"

registry=$work/registry.reg
cp "$source_dir/examples/providers.reg" "$registry"
export VANDREL_REGISTRY=$registry

# run NAME STATUS DIR ARGS...; the expected lines come on standard input.
run() {
    local name=$1 status=$2 dir=$3
    shift 3
    cat > "$work/want"
    (cd "$dir" && "$tool" "$@" > "$work/got" 2> "$work/err")
    check "$name" "$status" $? "$work/want" "$work/got"
}

windows_path() {  # the Windows form of a host path, as the tool sees it
    printf 'Z:%s' "$1" | tr / '\\'
}

mkdir -p "$work/host" "$work/empty"
touch "$work/host/QivDLLHost.exe"
host=$(windows_path "$work/host")\\QivDLLHost.exe

run "no arguments: usage, -1" 255 "$work" < <(banner; usage)
run "/P= alone runs nothing" 0 "$work" /P=SomeId < <(banner)
run "/C /X: unknown, -2" 254 "$work/host" /C /X < <(banner; echo "ERROR: Unknown parameter.[/X]"; usage)
check_true "an unknown argument writes nothing" cmp -s "$registry" "$source_dir/examples/providers.reg"

run "/S before" 0 "$work" /S < <(banner; shown_before)
run "/S /P=NoSuchId: -2" 254 "$work" /S /P=NoSuchId < <(banner; echo "Provider DllSurrogate validation. "; echo "ERROR: Invalid ProgID. [NoSuchId]"; echo; usage)
run "/C /P= of a class that is no provider: -2" 254 "$work/host" /C /P=Talvek.Codec < <(banner; echo "Provider DllSurrogate configuration. "; echo "ERROR: Invalid ProgID. [Talvek.Codec]"; echo; usage)

run "/C without the companion host: -3" 253 "$work/empty" /C < <(banner; echo "Provider DllSurrogate configuration. ";
  echo "ERROR: QivDLLHost.exe was not found. [$(windows_path "$work/empty")\\QivDLLHost.exe]")
check_true "a missing companion host writes nothing" cmp -s "$registry" "$source_dir/examples/providers.reg"

run "/C /P=talvek.echo configures one" 0 "$work/host" /C /P=talvek.echo < <(banner; echo "Provider DllSurrogate configuration. "; report Talvek.Echo "$E" "$host")
run "/C sweep" 0 "$work/host" /C < <(banner; echo "Provider DllSurrogate configuration. "; all_reports "$host")
run "/S after /C" 0 "$work" /S < <(banner; echo "Provider DllSurrogate validation. "; all_reports "$host")
run "/D sweep" 0 "$work" /D < <(banner; echo "Provider DllSurrogate configuration. "; all_reports "")
check_true "/D stores empty strings" grep -q '"DllSurrogate"=""' "$registry"
check_true "the untouched class is unchanged" grep -q 'Scripting.FileSystemObject' "$registry"

# A directory longer than MAX_PATH is written whole.
long=$work/$(printf 'd%.0s' {1..150})/$(printf 'e%.0s' {1..150})
mkdir -p "$long" && touch "$long/QivDLLHost.exe"
long_host=$(windows_path "$long")\\QivDLLHost.exe
check_true "the long directory is over 300 characters" test ${#long_host} -gt 300
run "/C from a directory of 300 characters" 0 "$long" /C /P=Talvek.Alpha < <(banner; echo "Provider DllSurrogate configuration. "; report Talvek.Alpha "$A" "$long_host")
check_true "the long path reached the registry" grep -qF "$(printf '%s' "$long_host" | sed 's/\\/\\\\/g')" "$registry"

# A non-ASCII directory: exact in the registry; '?' where the console cannot carry it.
uni=$work/Jörg-ツール
mkdir -p "$uni" && touch "$uni/QivDLLHost.exe"
(cd "$uni" && "$tool" /C > "$work/got" 2>&1)
check_true "/C from a non-ASCII directory succeeds" test $? = 0
check_true "every report follows the character the console cannot carry" \
    test "$(grep -c 'DllSurrogate = \[Z:' "$work/got")" = 6
check_true "the exact path reached the registry" grep -qF 'Jörg-ツール\\QivDLLHost.exe' "$registry"

# A current directory that no longer exists.
mkdir "$work/gone"
(cd "$work/gone" && rmdir "$work/gone" && "$tool" /C > "$work/got" 2>&1)
check_true "an unreadable current directory stops /C with -3" test $? = 253
check_true "and says so" grep -qx "ERROR: The current directory cannot be read." "$work/got"

# A 32-bit view's export (reg export HKCR\CLSID file.reg /reg:32) has no
# Wow6432Node: one view, whose classes are seen, and the tool says so.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\CLSID\\%s\\QIV Provider]\r\n' "$A" > "$work/x86.reg"
VANDREL_REGISTRY=$work/x86.reg "$tool" /S > "$work/got" 2> "$work/err"
check_true "a 32-bit view's export shows its providers" grep -qF "CLSID = [$A]" "$work/got"
check_true "and is said to be one view" grep -q "taken as one registry view" "$work/err"

# A malformed registry file is refused before the banner and left untouched.
printf 'REGEDIT4\n[HKEY_NOWHERE\\X]\n' > "$work/bad.reg"
cp "$work/bad.reg" "$work/bad.orig"
VANDREL_REGISTRY=$work/bad.reg "$tool" /S > "$work/got" 2> "$work/err"
check_true "a malformed file exits non-zero" test $? != 0
check_true "names the file and the line" grep -q "bad.reg:2: unknown root key" "$work/err"
check_true "prints no banner" test ! -s "$work/got"
check_true "and leaves the file untouched" cmp -s "$work/bad.reg" "$work/bad.orig"

finish
