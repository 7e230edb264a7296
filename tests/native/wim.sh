#!/usr/bin/env bash
# vandrel-wim over WIMs built as Windows ships them: captured by wimlib from
# an NTFS volume whose hive has a security descriptor, DOS attributes and a
# named stream of its own, two images, plus a solid copy, a copy with an
# integrity table and a split copy. After each run every image's detailed
# listing is as before but for the hive's data, the hive reads back in
# libhivex and chntpw, and no mount, staging folder or temporary file is left.
# Usage: wim.sh <vandrel> <source dir> <make_hive>
set -u
tool=$1
source_dir=$2
make_hive=$3
. "$source_dir/tests/lib/expect.sh"
wimcmd=$source_dir/wim/vandrel-wim
export VANDREL=$tool TMPDIR=$work/tmp
mkdir -p "$TMPDIR"

if [[ ! -e /dev/fuse ]] || ! command -v wimlib-imagex > /dev/null || ! command -v mkntfs > /dev/null; then
    echo "skip: FUSE, wimlib-imagex or mkntfs is not available, so no WIM can be mounted here"
    exit 77
fi

# volume FILE [no-hive|no-host]: an NTFS volume holding an image's folders.
volume() {
    local mnt=$work/vol
    truncate -s 32M "$1" && mkntfs -F -Q -q "$1" > /dev/null 2>&1 && mkdir -p "$mnt" && ntfs-3g "$1" "$mnt" || return 1
    mkdir -p "$mnt/Windows/System32/config" "$mnt/Program Files (x86)/Talvek"
    [[ ${2:-} == no-host ]] || echo MZ > "$mnt/Program Files (x86)/Talvek/QivDLLHost.exe"
    head -c 3000000 /dev/urandom > "$mnt/Windows/filler.bin"  # so that a split WIM has parts
    if [[ ${2:-} != no-hive ]]; then
        local hive=$mnt/Windows/System32/config/SOFTWARE
        "$make_hive" "$hive" "$source_dir/examples/providers.reg"
        local acl
        acl=$(getfattr -e hex -n system.ntfs_acl "$hive" 2> /dev/null | sed -n 's/^system.ntfs_acl=//p')
        setfattr -n system.ntfs_acl -v "${acl/ff011f00/a9001200}" "$hive"  # an ACL of its own
        setfattr -n system.ntfs_attrib_be -v 0x00000026 "$hive"          # HIDDEN | SYSTEM | ARCHIVE
        setfattr -n user.Zone.Identifier -v "[ZoneTransfer]" "$hive"    # a named data stream
    fi
    umount "$mnt"
}
# listing WIM: every image's detailed listing, less what a commit moves for
# any blob (offsets, compressed sizes, reference counts).
listing() {
    local n count
    count=$(wimlib-imagex info "$1" | sed -n 's/^Image Count: *//p')
    for ((n = 1; n <= count; n++)); do
        wimlib-imagex dir "$1" "$n" --detailed 2> /dev/null |
            grep -v -E '^(Offset in WIM|Compressed size|Reference Count|Part Number) '
    done
}
# hive_part LISTING: the listing with the hive's data stream and times taken out.
without_hive_data() {
    awk '/^Full Path/ {hive = ($0 ~ /config\/SOFTWARE"$/)}
         hive && /^(Hash|Uncompressed size|Last Write Time|Last Access Time) / {next} {print}' "$1"
}
# hosts WIM INDEX: the distinct DllSurrogate texts ("[text]") of the image's hive, as
# libhivex and chntpw read them.
hosts() {
    rm -rf "$work/x"
    wimlib-imagex extract "$1" "$2" /Windows/System32/config/SOFTWARE --dest-dir="$work/x" --no-acls > /dev/null 2>&1
    local hive=$work/x/SOFTWARE name
    {
        printf 'cd \\Classes\\AppID\nls\n' | hivexsh "$hive" | while IFS= read -r name; do
            hivexget "$hive" "\\Classes\\AppID\\$name" DllSurrogate
        done
        reged -x "$hive" 'HKEY_LOCAL_MACHINE\SOFTWARE' '\Classes\AppID' "$work/x/appid.reg" > /dev/null 2>&1
        tr -d '\r' < "$work/x/appid.reg" | sed -n 's/^"DllSurrogate"="\(.*\)"$/\1/p' | sed 's/\\\\/\\/g'
    } | sed 's/.*/[&]/' | sort -u
}
nothing_left() {
    test -z "$(ls -A "$TMPDIR")" && test -z "$(ls -A "$work" | grep -i -E 'staging|\.tmp')" &&
        ! grep -q "$work" /proc/mounts
}
# run NAME STATUS ARGS...: vandrel-wim's status.
run() {
    local name=$1 want=$2
    shift 2
    "$wimcmd" "$@" > "$work/out" 2> "$work/err"
    local got=$?
    check_true "$name: status $want" test "$got" = "$want" || { cat "$work/out" "$work/err"; }
}

volume "$work/ntfs.img" || { echo "skip: an NTFS volume cannot be mounted here (ntfs-3g, FUSE)"; exit 77; }
wimlib-imagex capture "$work/ntfs.img" "$work/install.wim" "Edition A" > /dev/null 2>&1
wimlib-imagex append "$work/ntfs.img" "$work/install.wim" "Edition B" > /dev/null 2>&1
wimlib-imagex export "$work/install.wim" all "$work/install.esd" --solid > /dev/null 2>&1
cp "$work/install.wim" "$work/checked.wim" && wimlib-imagex optimize "$work/checked.wim" --check > /dev/null 2>&1
wimlib-imagex split "$work/install.wim" "$work/part.swm" 1 > /dev/null 2>&1
listing "$work/install.wim" > "$work/before.list"
check_true "the hive in the WIM has its own attributes and named stream" \
    grep -q 'Named data stream "Zone.Identifier"' "$work/before.list"
host='[C:\Program Files (x86)\Talvek\QivDLLHost.exe]'

# Every image: configured, everything else kept.
# timed NAME STATUS FILE ARGS...: run, with its time and the file's sizes.
timed() {
    local before start
    before=$(stat -c %s "$3")
    start=$(date +%s%N)
    run "$@"
    echo "   ($(($(($(date +%s%N) - start)) / 1000000)) ms; $3: $before bytes before, $(stat -c %s "$3") after)"
}
timed "/C over every image" 0 "$work/install.wim" all /C
check_true "each image is reported" test "$(grep -c 'configured and committed' "$work/out")" = 2
listing "$work/install.wim" > "$work/after.list"
without_hive_data "$work/before.list" > "$work/before.kept"
without_hive_data "$work/after.list" > "$work/after.kept"
check "every image's listing is as before but for the hive's data" 0 0 "$work/before.kept" "$work/after.kept"
check_true "the hive's data did change" test "$(cmp -s "$work/before.list" "$work/after.list"; echo $?)" = 1
for n in 1 2; do
    check_true "image $n: libhivex and chntpw read the host" test "$(hosts "$work/install.wim" $n)" = "$host"
done
check_true "wimlib-imagex verify passes" wimlib-imagex verify "$work/install.wim" > /dev/null 2>&1
check_true "no mount, staging folder or temporary file is left" nothing_left

# Nothing pending: the WIM byte for byte.
cp "$work/install.wim" "$work/configured.wim"
run "a second /C" 0 "$work/install.wim" all /C
check_true "writes nothing" grep -q "holds the host already; not written" "$work/out"
check_true "and leaves the WIM byte for byte" cmp -s "$work/install.wim" "$work/configured.wim"

# One image, by name.
run "/D over \"Edition B\"" 0 "$work/install.wim" "Edition B" /D
check_true "image 1 still holds the companion host" test "$(hosts "$work/install.wim" 1)" = "$host"
check_true "image 2 holds the default" test "$(hosts "$work/install.wim" 2)" = "[]"

# A solid ESD stays solid; an integrity table stays.
timed "/C over both images of a solid ESD" 0 "$work/install.esd" all /C
check_true "it is still solid" test "$(wimlib-imagex info --header "$work/install.esd" | sed -n 's/^Version *= *//p')" = 0xe00
check_true "its data is still in solid resources" \
    test -z "$(wimlib-imagex info --blobs "$work/install.esd" | grep '^Flags' | grep -v -E 'SOLID|METADATA')"
check_true "and it verifies" wimlib-imagex verify "$work/install.esd" > /dev/null 2>&1
run "/C over a WIM with an integrity table" 0 "$work/checked.wim" all /C
check_true "the table is kept" test "$(wimlib-imagex info --header "$work/checked.wim" | sed -n 's/^Integrity Size *= *//p')" != 0
check_true "and it verifies" wimlib-imagex verify "$work/checked.wim" > /dev/null 2>&1

# Refused, the WIM as it was.
cp "$work/install.wim" "$work/kept.wim"
run "a split WIM" 65 "$work/part.swm" all /C
check_true "says so" grep -q "split WIM" "$work/err"
exec 9< "$work/install.wim"
flock 9  # as wimlib holds a WIM it writes
run "a WIM another process holds" 75 "$work/install.wim" all /D
exec 9<&-
run "an index that does not exist" 65 "$work/install.wim" 3 /C
check_true "names the images there are" grep -q "1 Edition A,2 Edition B" "$work/err"
run "a name that does not exist" 65 "$work/install.wim" "Edition C" /C
volume "$work/nohive.img" no-hive && wimlib-imagex append "$work/nohive.img" "$work/install.wim" "No hive" > /dev/null 2>&1
cp "$work/install.wim" "$work/kept.wim"
run "an image without a hive" 65 "$work/install.wim" all /D
check_true "says which" grep -q "image 3 (No hive) has no hive" "$work/err"
volume "$work/nohost.img" no-host && wimlib-imagex capture "$work/nohost.img" "$work/nohost.wim" "No host" > /dev/null 2>&1
cp "$work/nohost.wim" "$work/nohost.kept"
run "an image without the companion host, for /C" 65 "$work/nohost.wim" 1 /C
check_true "a wrong switch" bash -c "'$wimcmd' '$work/install.wim' all /S > /dev/null 2>&1; test \$? = 64"
check_true "every refused WIM is as it was" cmp -s "$work/install.wim" "$work/kept.wim"
check_true "and the one without a host" cmp -s "$work/nohost.wim" "$work/nohost.kept"

# A run ended by SIGTERM while the tool works: no mount is left, the WIM as it was.
printf '#!/bin/sh\nsleep 30\n' > "$work/slow" && chmod +x "$work/slow"
for signal in TERM; do
    VANDREL=$work/slow "$wimcmd" "$work/kept.wim" 1 /D > /dev/null 2>&1 &
    runner=$!
    for _ in {1..100}; do grep -q "$work/tmp" /proc/mounts && break; sleep 0.1; done
    kill -$signal $runner
    wait $runner
    check_true "SIG$signal: the run ends at once" test $? -ge 128
    check_true "$signal: no mount, staging folder or temporary file is left" nothing_left
    check_true "$signal: the WIM is as it was" cmp -s "$work/install.wim" "$work/kept.wim"
done
finish
