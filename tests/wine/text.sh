#!/usr/bin/env bash
# Registry text as Windows programs read it (up to the first NUL), and what a
# real console shows: the Windows build under Wine, run inside tmux from a
# folder whose name is not Latin-1, compared screen line by screen line.
. "$(dirname "$0")/lib.sh"
key32='HKCR\CLSID'
appids='HKCR\AppID'
wow='HKEY_CLASSES_ROOT\Wow6432Node\CLSID'
P1={5E1C7A10-3B2D-4C8E-9F01-0000000A0001}
P2={5E1C7A10-3B2D-4C8E-9F01-0000000A0002}
U1={5E1C7A10-3B2D-4C8E-9F01-0000000A0003}
U2={5E1C7A10-3B2D-4C8E-9F01-0000000A0004}
mkdir -p "$work/host"
touch "$work/host/QivDLLHost.exe"
host=$(windows_path "$work/host")\\QivDLLHost.exe

# import_utf16 FILE: a UTF-8 .reg file imported as regedit writes it, in
# UTF-16LE: reg takes the hex(1) data of a narrow file for narrow text.
import_utf16() {
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$1"; } > "$1.utf16"
    reg_import "$1.utf16"
}

# Values with NULs inside: P1's ProgID "T.A" NUL NUL and AppID "{G}" NUL NUL,
# whose key's DllSurrogate is "C:\x" NUL "junk"; P2's ProgID "A" NUL "B" and an
# AppID whose text is empty (NUL "{G}").
cat > "$work/embedded.reg" <<REG
Windows Registry Editor Version 5.00

[$wow\\$P1\\QIV Provider]

[$wow\\$P1\\VersionIndependentProgID]
@=hex(1):54,00,2e,00,41,00,00,00,00,00

[$wow\\$P1]
"AppID"=hex(1):7b,00,47,00,7d,00,00,00,00,00

[HKEY_CLASSES_ROOT\\AppID\\{G}]
@="hand-made"
"AppID"="{G}"
"DllSurrogate"=hex(1):43,00,3a,00,5c,00,78,00,00,00,6a,00,75,00,6e,00,6b,00,00,00

[$wow\\$P2\\QIV Provider]

[$wow\\$P2\\VersionIndependentProgID]
@=hex(1):41,00,00,00,42,00,00,00

[$wow\\$P2]
"AppID"=hex(1):00,00,7b,00,47,00,7d,00,00,00
REG
reset_registry "$work/embedded.reg"
import_utf16 "$work/embedded.reg"
run "text ends at the first NUL" 0 "$work" /S < <(banner; echo "Provider DllSurrogate validation. ";
    report T.A "$P1" 'C:\x'; report A "$P2" "-- N/A --")
run "an AppID with extra NULs names its key; an empty one is none" 0 "$work/host" /C < <(banner;
    echo "Provider DllSurrogate configuration. "; report T.A "$P1" "$host"; report A "$P2" "$host")
check_true "AppID\\{G} got the host" test "$(reg_value "$appids\\{G}" DllSurrogate)" = "REG_SZ $host"
check_true "AppID\\{G} kept its name" test "$(reg_value "$appids\\{G}" "")" = "REG_SZ hand-made"
check_true "P1's class AppID was not rewritten" test "$(reg_value "$key32\\$P1" AppID)" = "REG_SZ {G}"
check_true "P2's class got AppID = its CLSID" test "$(reg_value "$key32\\$P2" AppID)" = "REG_SZ $P2"
check_true "P2's new AppID key holds the host" test "$(reg_value "$appids\\$P2" DllSurrogate)" = "REG_SZ $host"
check_true "P2's new AppID key holds its ProgID's text" test "$(reg_value "$appids\\$P2" "")" = "REG_SZ A"

# A provider whose ProgID is Cyrillic and Japanese, one whose ProgID holds
# U+FFFF, and a companion host in a folder named Jörg-ツール.
cat > "$work/uni.reg" <<REG
Windows Registry Editor Version 5.00

[$wow\\$U1\\QIV Provider]

[$wow\\$U1\\VersionIndependentProgID]
@="Талвек.ツール"

[HKEY_CLASSES_ROOT\\Talvek.Uni\\CLSID]
@="$U1"

[$wow\\$U2\\QIV Provider]

[$wow\\$U2\\VersionIndependentProgID]
@=hex(1):61,00,62,00,ff,ff,63,00,00,00
REG
reset_registry "$work/embedded.reg" "$work/uni.reg"
import_utf16 "$work/uni.reg"
uni=$work/Jörg-ツール
mkdir -p "$uni" && touch "$uni/QivDLLHost.exe"
uni_host=$(windows_path "$uni")\\QivDLLHost.exe

# On a console: every character as it is (the screen keeps no trailing blanks).
socket=vandrel-$$
tmux -L "$socket" kill-server > /dev/null 2>&1
LC_ALL=C.UTF-8 tmux -L "$socket" new-session -d -x 250 -y 40 \
    -e LC_ALL=C.UTF-8 -e WINEPREFIX="$WINEPREFIX" -e WINEDEBUG=-all \
    "cd '$uni' && wine '$tool' /C /P=Talvek.Uni; echo \"status=\$?\"; sleep 120"
for _ in $(seq 120); do
    LC_ALL=C.UTF-8 tmux -L "$socket" capture-pane -p -t 0 > "$work/screen" 2> /dev/null
    grep -q '^status=' "$work/screen" && break
    sleep 1
done
tmux -L "$socket" kill-server > /dev/null 2>&1
sed -e '/^$/N;/^\n$/D' "$work/screen" | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' > "$work/got"
{ banner; echo "Provider DllSurrogate configuration."; report "Талвек.ツール" "$U1" "$uni_host"; echo "status=0"; } > "$work/want"
check "a console shows every character" 0 0 "$work/want" "$work/got"

# Redirected to a file: the bytes scripts capture, as they always were: a
# character the stream cannot carry is '?', U+FFFF included.
(cd "$uni" && wine "$tool" /S > "$work/raw" 2> /dev/null < /dev/null)
tr -d '\r' < "$work/raw" > "$work/got"
{ banner; echo "Provider DllSurrogate validation. "; report "??????.???" "$U1" "$(windows_path "$work")\\J"$'\xf6'"rg-???\\QivDLLHost.exe"
  report "ab?c" "$U2" "-- N/A --"; } > "$work/want"
check "a file gets the stream's bytes, '?' for what it cannot carry" 0 0 "$work/want" "$work/got"

reset_registry "$work/embedded.reg" "$work/uni.reg"
finish
