#!/usr/bin/env bash
# The tool's whole job under Wine, against Wine's registry: the example
# providers shown and configured, checked with Wine's own reg.exe, and the
# mended faults end to end.
. "$(dirname "$0")/lib.sh"
key32='HKCR\CLSID'
appids='HKCR\AppID'

mkdir -p "$work/host" "$work/empty"
touch "$work/host/QivDLLHost.exe"
host=$(windows_path "$work/host")\\QivDLLHost.exe

# The example registry, shown and configured.
reset_registry
reg_import "$source_dir/examples/providers.reg"
run "/S before" 0 "$work" /S < <(banner; shown_before)
run "/C without the companion host: 253" 253 "$work/empty" /C < <(banner; echo "Provider DllSurrogate configuration. ";
    echo "ERROR: QivDLLHost.exe was not found. [$(windows_path "$work/empty")\\QivDLLHost.exe]")
check_true "nothing was written" test "$(reg_value "$key32\\$A" AppID)" = missing
run "/C configures every provider" 0 "$work/host" /C < <(banner; echo "Provider DllSurrogate configuration. "; all_reports "$host")
check_true "Alpha's class got AppID = its CLSID" test "$(reg_value "$key32\\$A" AppID)" = "REG_SZ $A"
check_true "Alpha's AppID key holds its ProgID" test "$(reg_value "$appids\\$A" "")" = "REG_SZ Talvek.Alpha"
check_true "Alpha's AppID key holds its AppID" test "$(reg_value "$appids\\$A" AppID)" = "REG_SZ $A"
check_true "Alpha's DllSurrogate is the host" test "$(reg_value "$appids\\$A" DllSurrogate)" = "REG_SZ $host"
check_true "Delta's AppID key has an empty default" test "$(reg_value "$appids\\$D" "")" = "REG_SZ "
check_true "Bravo's complete key kept its values" test "$(reg_value "$appids\\$B" "")" = "REG_SZ Talvek.Bravo"
charlie='{7B0E2D44-1A6C-4F3B-8E27-00000000C3A5}'
check_true "Charlie's incomplete key was initialised" test "$(reg_value "$appids\\$charlie" "")" = "REG_SZ Talvek.Charlie"
check_true "the 64-bit-only provider was not touched" test "$(reg_value 'HKCR\CLSID\{5E1C7A10-3B2D-4C8E-9F01-0000000064B1}' AppID)" = missing
run "/S after /C" 0 "$work" /S < <(banner; echo "Provider DllSurrogate validation. "; all_reports "$host")
run "/D sets the system default" 0 "$work" /D < <(banner; echo "Provider DllSurrogate configuration. "; all_reports "")
check_true "/D stores an empty REG_SZ, not a deletion" test "$(reg_value "$appids\\$A" DllSurrogate)" = "REG_SZ "
run "/S /P=Talvek.Codec (no provider): 254" 254 "$work" /S /P=Talvek.Codec < <(banner;
    echo "Provider DllSurrogate validation. "; echo "ERROR: Invalid ProgID. [Talvek.Codec]"; echo; usage)

# Without administrator rights: configuring is refused, showing works.
run_restricted() {
    local name=$1 status=$2
    shift 2
    cat > "$work/want"
    (cd "$work/host" && wine "$helpers/run_restricted.exe" "$tool" "$@" > "$work/raw" 2> "$work/err" < /dev/null)
    local got=$?
    tr -d '\r' < "$work/raw" > "$work/got"
    check "$name" "$status" "$got" "$work/want" "$work/got"
}
run_restricted "/C without administrator rights: 255" 255 /C /P=NoSuchId < <(banner;
    echo "Provider DllSurrogate configuration. "; echo "ERROR: Administrator rights are required."; echo; usage)
run_restricted "/S without administrator rights works" 0 /S /P=Talvek.Alpha < <(banner;
    echo "Provider DllSurrogate validation. "; report Talvek.Alpha "$A" "")

# Values of zero bytes read as empty strings.
reset_registry
Z={5E1C7A10-3B2D-4C8E-9F01-000000000000}
Y={5E1C7A10-3B2D-4C8E-9F01-000000000001}
cat > "$work/zero.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\$Z\\QIV Provider]

[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\$Z]
"AppID"=hex(1):

[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\$Z\\VersionIndependentProgID]
@=hex(1):

[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\$Y\\QIV Provider]

[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\$Y]
"AppID"="$Y"

[HKEY_CLASSES_ROOT\\AppID\\$Y]
"AppID"="$Y"
"DllSurrogate"=hex(1):
REG
reset_registry "$work/zero.reg"
reg_import "$work/zero.reg"
watch=("$key32\\$Z" "$key32\\$Y" "HKCR\\AppID\\$Z" "HKCR\\AppID\\$Y")
run "zero-byte values show as empty" 0 "$work" /S < <(banner; echo "Provider DllSurrogate validation. ";
    report "" "$Z" "-- N/A --"; report "" "$Y" "")
run "zero-byte values configure like empty ones" 0 "$work/host" /C < <(banner;
    echo "Provider DllSurrogate configuration. "; report "" "$Z" "$host"; report "" "$Y" "$host")
check_true "the zero-byte AppID was replaced by the CLSID" test "$(reg_value "$key32\\$Z" AppID)" = "REG_SZ $Z"
watch=()

# An AppID holding a path is never followed; a refused write is reported.
V={5E1C7A10-3B2D-4C8E-9F01-00000000BAD0}
cat > "$work/bad.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\$V\\QIV Provider]

[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\$V]
"AppID"="..\\\\Wow6432Node\\\\CLSID\\\\$A"
REG
reset_registry "$work/bad.reg" "$work/zero.reg"
reg_import "$source_dir/examples/providers.reg"
reg_import "$work/bad.reg"
wine "$helpers/deny_write.exe" "AppID\\$B" < /dev/null > /dev/null 2>&1
run "failed providers are reported and the sweep goes on: 253" 253 "$work/host" /C < <(banner;
    echo "Provider DllSurrogate configuration. "
    report Talvek.Alpha "$A" "$host"
    echo "ERROR: Configuration failed. [$B] (error 5)"
    echo "ERROR: Configuration failed. [$V] (error 13)"
    report Talvek.Charlie "$C" "$host"; report "" "$D" "$host"; report Talvek.Echo "$E" "$host"
    report Talvek.Foxtrot "$F" "$host")
check_true "the path in the AppID wrote nothing" test "$(reg_value "$key32\\$A" DllSurrogate)" = missing
run "an AppID holding a path shows as N/A" 0 "$work" /S /P=Talvek.Alpha < <(banner;
    echo "Provider DllSurrogate validation. "; report Talvek.Alpha "$A" "$host")

# Current directories with non-ASCII characters, and as long as Wine allows.
reset_registry
reg_import "$source_dir/examples/providers.reg"
uni=$work/Jörg-ツール
mkdir -p "$uni" && touch "$uni/QivDLLHost.exe"
(cd "$uni" && wine "$tool" /C /P=Talvek.Alpha > "$work/raw" 2>&1 < /dev/null)
check_true "/C from a non-ASCII directory succeeds" test $? = 0
check_true "its report is printed whole" test "$(tr -d "\r" < "$work/raw" | LC_ALL=C grep -c '^   DllSurrogate = \[Z:.*QivDLLHost.exe\]$')" = 1
wine regedit /E "$work/export.reg" "HKEY_CLASSES_ROOT\\AppID\\$A" < /dev/null > /dev/null 2>&1
check_true "the exact path reached the registry" \
    grep -qF "$(windows_path "$uni" | sed 's/\\/\\\\/g')\\\\QivDLLHost.exe" <(iconv -f UTF-16LE -t UTF-8 "$work/export.reg")

long=$work
while (( ${#long} < 256 - 11 )); do long=$long/$(printf 'x%.0s' {1..10}); done
long=$long/$(printf 'y%.0s' $(seq 1 $((256 - ${#long} - 1))))
mkdir -p "$long" && touch "$long/QivDLLHost.exe"
long_host=$(windows_path "$long")\\QivDLLHost.exe
check_true "the long directory is 258 characters in Windows form" test $(( ${#long_host} - 15 )) = 258
run "/C from a directory of 258 characters" 0 "$long" /C /P=Talvek.Alpha < <(banner;
    echo "Provider DllSurrogate configuration. "; report Talvek.Alpha "$A" "$long_host")

# A drive's root as the current directory ends in a backslash already.
ln -sfn "$work/host" "$WINEPREFIX/dosdevices/v:"
(cd "$work" && wine cmd /c "cd /d V:\\ && $(windows_path "$tool") /C /P=Talvek.Alpha" > "$work/raw" 2>&1 < /dev/null)
check_true "/C from a drive's root writes V:\\QivDLLHost.exe" grep -qxF '   DllSurrogate = [V:\QivDLLHost.exe]' <(tr -d '\r' < "$work/raw")
rm -f "$WINEPREFIX/dosdevices/v:"

reset_registry "$work/zero.reg" "$work/bad.reg"
finish
