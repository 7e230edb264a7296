#!/usr/bin/env bash
# The native tool over the SOFTWARE hive of an offline image: the same lines,
# statuses and registry changes as over a .reg file of the same content; the
# image's folder as drive C:; every file it must refuse, refused untouched.
# Hives are built by make_hive and checked with chntpw's reged, an
# independent reader. Usage: hive.sh <vandrel> <source dir> <make_hive>
set -u
tool=$1
source_dir=$2
make_hive=$3
. "$source_dir/tests/lib/expect.sh"
unset VANDREL_REGISTRY VANDREL_HIVE VANDREL_SYSTEM_DRIVE

img=$work/img
hive=$img/Windows/System32/config/SOFTWARE
talvek=$img/Program\ Files\ \(x86\)/Talvek
mkdir -p "$(dirname "$hive")" "$talvek" "$work/outside"
touch "$talvek/QivDLLHost.exe"
host='C:\Program Files (x86)\Talvek\QivDLLHost.exe'
"$make_hive" "$hive" "$source_dir/examples/providers.reg"
cp "$hive" "$work/pristine"

# run NAME STATUS DIR ARGS...: the tool over the hive, expected lines on stdin.
run() {
    local name=$1 status=$2 dir=$3
    shift 3
    cat > "$work/want"
    (cd "$dir" && VANDREL_HIVE=$hive "$tool" "$@" > "$work/got" 2> "$work/err")
    check "$name" "$status" $? "$work/want" "$work/got"
}

# export HIVE OUT: the whole hive as chntpw's reged reads it.
export_hive() {
    reged -x "$1" 'HKEY_LOCAL_MACHINE\SOFTWARE' '\' "$2" > /dev/null 2>&1 && test -s "$2"
}

run "/S of the image's providers; the 64-bit-only one is not seen" 0 "$work" /S < <(banner; shown_before)
check_true "/S leaves the hive byte for byte" cmp -s "$hive" "$work/pristine"
run "/C from the companion host's folder in the image writes its C: path" 0 "$talvek" /C < <(banner;
    echo "Provider DllSurrogate configuration. "; all_reports "$host")
check_true "the written hive exports in chntpw" export_hive "$hive" "$work/after-c.reg"
check_true "and holds the host" grep -qF '"DllSurrogate"="C:\\Program Files (x86)\\Talvek\\QivDLLHost.exe"' "$work/after-c.reg"
check_true "the written hive reopens in libhivex" bash -c "hivexsh '$hive' <<< 'cd Classes' > /dev/null"
cp "$hive" "$work/configured"
run "/C from outside the image: 253, nothing written" 253 "$work/outside" /C < <(banner;
    echo "Provider DllSurrogate configuration. "; echo "ERROR: The current directory cannot be read.")
check_true "the hive is as it was" cmp -s "$hive" "$work/configured"
check_true "a line on stderr says why" grep -q "outside the system drive" "$work/err"
run "/D /P= sets one provider's default" 0 "$work" /D /P=Talvek.Echo < <(banner;
    echo "Provider DllSurrogate configuration. "; report Talvek.Echo "$E" "")
check_true "the hive exports in chntpw after /D" export_hive "$hive" "$work/after-d.reg"

# The same content in both stores: the same lines and statuses, and the same
# registry in the end (the .reg result, made a hive, exports identically).
cp "$work/pristine" "$hive"
cp "$source_dir/examples/providers.reg" "$work/same.reg"
for args in /S /C "/S /P=Talvek.Echo" "/C /P=NoSuchId" /D "/D /P=Talvek.Bravo" /C /S; do
    (cd "$talvek" && VANDREL_HIVE=$hive "$tool" $args > "$work/hive.out" 2> /dev/null)
    hive_status=$?
    (cd "$talvek" && VANDREL_REGISTRY=$work/same.reg VANDREL_SYSTEM_DRIVE=$img "$tool" $args \
        > "$work/reg.out" 2> /dev/null)
    check "$args: the same lines in both stores" $? $hive_status "$work/reg.out" "$work/hive.out"
done
"$make_hive" "$work/from-reg" "$work/same.reg"
export_hive "$hive" "$work/hive-final.reg"
export_hive "$work/from-reg" "$work/reg-final.reg"
check_true "and the same registry in the end" diff -u "$work/reg-final.reg" "$work/hive-final.reg"

# A hive of 32-bit Windows: no Wow6432Node, one view.
cat > "$work/x86.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\CLSID\{5E1C7A10-3B2D-4C8E-9F01-00000000A1FA}\QIV Provider]

[HKEY_CLASSES_ROOT\CLSID\{5E1C7A10-3B2D-4C8E-9F01-00000000A1FA}\VersionIndependentProgID]
@="Talvek.Alpha"

[HKEY_CLASSES_ROOT\Talvek.Alpha\CLSID]
@="{5E1C7A10-3B2D-4C8E-9F01-00000000A1FA}"
REG
"$make_hive" "$hive" "$work/x86.reg"
run "a hive without Wow6432Node is one view" 0 "$talvek" /C /P=Talvek.Alpha < <(banner;
    echo "Provider DllSurrogate configuration. "; report Talvek.Alpha "$A" "$host")
check_true "and is said to be so" grep -q "taken as one registry view" "$work/err"
export_hive "$hive" "$work/x86-after.reg"
check_true "the class in Classes\\CLSID got its AppID" \
    grep -qF '"AppID"="{5E1C7A10-3B2D-4C8E-9F01-00000000A1FA}"' "$work/x86-after.reg"

# VANDREL_SYSTEM_DRIVE names drive C: itself, for a hive anywhere.
mkdir -p "$work/server/Apps/Talvek" "$work/loose"
touch "$work/server/Apps/Talvek/QivDLLHost.exe"
"$make_hive" "$work/loose/software.hiv" "$source_dir/examples/providers.reg"
(cd "$work/server/Apps/Talvek" && VANDREL_HIVE=$work/loose/software.hiv VANDREL_SYSTEM_DRIVE=$work/server \
    "$tool" /C /P=Talvek.Alpha > "$work/got" 2>&1)
check_true "VANDREL_SYSTEM_DRIVE is drive C:" grep -qF 'DllSurrogate = [C:\Apps\Talvek\QivDLLHost.exe]' "$work/got"

# Refused before anything runs, the file byte for byte as it was.
refused() {  # NAME STATUS MESSAGE FILE [ENV...]: refused with that message, the file untouched
    local name=$1 status=$2 message=$3 file=$4
    shift 4
    cp "$file" "$work/before"
    (cd "$talvek" && env "$@" "$tool" /C > "$work/got" 2> "$work/err")
    local got=$?
    check_true "$name: status $status" test "$got" = "$status"
    check_true "$name: says so" grep -q "$message" "$work/err"
    check_true "$name: nothing printed on stdout" test ! -s "$work/got"
    check_true "$name: the file is untouched" cmp -s "$file" "$work/before"
}
cp "$work/pristine" "$hive"
cp "$source_dir/examples/providers.reg" "$work/text.reg"
refused "a .reg file given as a hive" 65 "text.reg: not a registry hive" "$work/text.reg" VANDREL_HIVE="$work/text.reg"
cp "$work/pristine" "$work/dirty"
printf '\x07' | dd of="$work/dirty" bs=1 seek=8 conv=notrunc 2> /dev/null
refused "a dirty hive" 65 "dirty: the hive is dirty" "$work/dirty" VANDREL_HIVE="$work/dirty"
head -c 6000 "$work/pristine" > "$work/truncated"
refused "a truncated hive" 65 "truncated: the hive is truncated" "$work/truncated" VANDREL_HIVE="$work/truncated"
cp "$work/pristine" "$work/broken"
root_cell=$(od -An -tu4 -j 36 -N 4 "$work/broken" | tr -d ' ')  # the base block's root key cell
printf 'xx' | dd of="$work/broken" bs=1 seek=$((4096 + root_cell + 4)) conv=notrunc 2> /dev/null
refused "a hive libhivex refuses" 65 "broken: the hive's records are damaged" "$work/broken" VANDREL_HIVE="$work/broken"
refused "both variables set" 64 "both set" "$hive" VANDREL_HIVE="$hive" VANDREL_REGISTRY="$work/text.reg"
check_true "both variables set: the .reg file is untouched" cmp -s "$work/text.reg" "$source_dir/examples/providers.reg"

# A hive of 64-bit Windows with Classes\Wow6432Node\AppID as its link key:
# the run writes the shared key, and the link stays a link, for chntpw too.
"$make_hive" --link "$hive" "$source_dir/examples/providers.reg"
run "/C over a hive whose Wow6432Node\\AppID is a link" 0 "$talvek" /C < <(banner;
    echo "Provider DllSurrogate configuration. "; all_reports "$host")
reged -x "$hive" 'HKEY_LOCAL_MACHINE\SOFTWARE' '\Classes\Wow6432Node' "$work/wow.reg" > /dev/null 2>&1
link_listed() {
    grep -a -A1 -F '[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\AppID]' "$work/wow.reg" |
        grep -q '^"SymbolicLinkValue"=hex(6):'
}
check_true "chntpw reads the link key and its REG_LINK value after the run" link_listed
check_true "and nothing below it" test -z "$(grep -a -F '[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\AppID\' "$work/wow.reg")"
reged -x "$hive" 'HKEY_LOCAL_MACHINE\SOFTWARE' '\Classes\AppID' "$work/appid.reg" > /dev/null 2>&1
check_true "the shared AppID keys hold the host" test "$(grep -a -c 'QivDLLHost' "$work/appid.reg")" = 6

# A save that fails (no temporary file can be made beside the hive) says so.
long=$work/$(printf 'h%.0s' {1..250})
cp "$work/pristine" "$long"
(cd "$talvek" && VANDREL_HIVE=$long VANDREL_SYSTEM_DRIVE=$img "$tool" /C > /dev/null 2> "$work/err")
check_true "a failed save: status 74" test $? = 74
check_true "a failed save: says so" grep -q "the registry was not saved" "$work/err"
check_true "a failed save: the old hive is intact" cmp -s "$long" "$work/pristine"
finish
