#!/usr/bin/env bash
# The native tool in an image builder's pipeline, run as the builder runs it:
# no success for a wrong outcome, and the image's files left as Windows had
# them (owner, mode, extended attributes, an NTFS image's ACL, DOS attributes
# and creation time), or not replaced at all.
# Usage: pipeline.sh <vandrel> <source dir> <make_hive> <io_faults.so>
set -u
tool=$1
source_dir=$2
make_hive=$3
io_faults=$4
. "$source_dir/tests/lib/expect.sh"
unset VANDREL_REGISTRY VANDREL_HIVE VANDREL_SYSTEM_DRIVE VANDREL_LOCK_TIMEOUT

# image ROOT: a SOFTWARE hive of the example providers at its place in ROOT,
# and the companion host in the Talvek folder, named in lower case.
image() {
    mkdir -p "$1/Windows/System32/config" "$1/Program Files (x86)/Talvek"
    touch "$1/Program Files (x86)/Talvek/qivdllhost.exe"
    "$make_hive" "$1/Windows/System32/config/SOFTWARE" "$source_dir/examples/providers.reg"
}
img=$work/img
hive=$img/Windows/System32/config/SOFTWARE
talvek=$img/Program\ Files\ \(x86\)/Talvek
image "$img"

# A registry must be named.
(cd "$work" && "$tool" /S > "$work/out" 2> "$work/err")
check_true "no registry named: status 64" test $? = 64
check_true "and the message names both variables" grep -q "VANDREL_REGISTRY.*VANDREL_HIVE" "$work/err"
check_true "and nothing is printed on stdout" test ! -s "$work/out"
(cd "$work" && VANDREL_HIVE= "$tool" /S > "$work/out" 2> "$work/err")
check_true "an empty VANDREL_HIVE: status 64" test $? = 64

# A copy of the hive away from its image: drive C: is not known.
cp "$hive" "$work/copy.hiv"
cp "$hive" "$work/copy.before"
(cd "$talvek" && VANDREL_HIVE=$work/copy.hiv "$tool" /C > "$work/out" 2> "$work/err")
check_true "a hive outside its image: /C is refused with 253" test $? = 253
check_true "with the current directory's error line" grep -qx "ERROR: The current directory cannot be read." "$work/out"
check_true "and a line that names VANDREL_SYSTEM_DRIVE" grep -q "VANDREL_SYSTEM_DRIVE" "$work/err"
check_true "nothing was written" cmp -s "$work/copy.hiv" "$work/copy.before"
(cd "$talvek" && VANDREL_HIVE=$work/copy.hiv "$tool" /D > /dev/null 2>&1)
check_true "/D needs no drive and works" test $? = 0

# The companion host is found without regard to case; the path written is its own.
(cd "$talvek" && VANDREL_HIVE=$hive "$tool" /C > "$work/out" 2> "$work/err")
check_true "/C finds qivdllhost.exe for QivDLLHost.exe" test $? = 0
check_true "and writes the image's path" grep -qF 'DllSurrogate = [C:\Program Files (x86)\Talvek\QivDLLHost.exe]' "$work/out"

# A run that changes nothing writes nothing: the same bytes, the same time.
cp -p "$hive" "$work/configured"
touch -d '2020-01-01' "$hive"
stamp=$(stat -c %Y "$hive")
(cd "$talvek" && VANDREL_HIVE=$hive "$tool" /C > /dev/null 2>&1)
check_true "a second /C: status 0" test $? = 0
check_true "leaves the hive byte for byte" cmp -s "$hive" "$work/configured"
check_true "and does not rewrite it" test "$(stat -c %Y "$hive")" = "$stamp"
cp "$source_dir/examples/providers.reg" "$work/r.reg"
mkdir -p "$work/h" && touch "$work/h/QivDLLHost.exe"
(cd "$work/h" && VANDREL_REGISTRY=$work/r.reg "$tool" /C > /dev/null 2>&1)
cp "$work/r.reg" "$work/r.configured" && touch -d '2020-01-01' "$work/r.reg"
(cd "$work/h" && VANDREL_REGISTRY=$work/r.reg "$tool" /C > /dev/null 2>&1)
check_true "the same for a .reg file" test "$(stat -c %Y "$work/r.reg")" = "$(date -d 2020-01-01 +%s)"

# The image's root: drive C:'s root gets no second backslash.
touch "$img/QivDLLHost.exe"
(cd "$img" && VANDREL_HIVE=$hive "$tool" /C /P=Talvek.Alpha > "$work/out" 2>&1)
check_true "/C from the image's root writes C:\\QivDLLHost.exe" grep -qxF '   DllSurrogate = [C:\QivDLLHost.exe]' "$work/out"

# A save reaches the disk before it replaces the file; one that cannot leaves
# the file as it was and no temporary file beside it.
# with_io_faults ARGS...: the tool with its fsync and rename calls logged.
with_io_faults() {
    (cd "$talvek" && env LD_PRELOAD="$io_faults" ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" \
        VANDREL_TEST_IO_LOG="$work/io.log" VANDREL_HIVE=$hive "$@" > "$work/out" 2> "$work/err")
}
rm -f "$work/io.log"
with_io_faults "$tool" /C
check_true "/C through the logged calls: status 0" test $? = 0
temp=$(sed -n 's/^rename \(.*\.vandrel-save-.*\) .*$/\1/p' "$work/io.log")
check_true "the new file is renamed over the hive" test -n "$temp"
check_true "after its fsync" test "$(grep -n -F -x -e "fsync $temp" -e "rename $temp $hive" "$work/io.log" | cut -d: -f2 |
    cut -d' ' -f1 | paste -sd' ' -)" = "fsync rename"
cp "$hive" "$work/unsynced.before"
VANDREL_TEST_FAIL_FSYNC=1 with_io_faults "$tool" /D
check_true "a save whose fsync fails: status 74" test $? = 74
check_true "the hive is as it was" cmp -s "$hive" "$work/unsynced.before"
check_true "and no temporary file is left" test -z "$(ls "$(dirname "$hive")" | grep vandrel-save)"

# The file's owner, mode and extended attributes stay.
shm=$(mktemp -d /dev/shm/vandrel-pipeline.XXXXXX)
image "$shm"
chmod -R a+rX "$shm"
shive=$shm/Windows/System32/config/SOFTWARE
chown 4321:8765 "$shive" && chmod 0640 "$shive"
if setfattr -n user.vandrel -v kept "$shive" 2> /dev/null; then
    (cd "$shm/Program Files (x86)/Talvek" && VANDREL_HIVE=$shive "$tool" /C > /dev/null 2>&1)
    check_true "on tmpfs: /C succeeds" test $? = 0
    check_true "the owner and group stay" test "$(stat -c %u:%g "$shive")" = 4321:8765
    check_true "the mode stays" test "$(stat -c %a "$shive")" = 640
    check_true "the extended attribute stays" test "$(getfattr --only-values -n user.vandrel "$shive" 2> /dev/null)" = kept
else
    echo "skip: this tmpfs takes no user extended attributes"
fi
ln "$shive" "$shm/link"
cp "$shive" "$work/linked.before"
(cd "$shm/Program Files (x86)/Talvek" && VANDREL_HIVE=$shive "$tool" /D > "$work/out" 2> "$work/err")
check_true "a hive with a second hard link: 74" test $? = 74
check_true "says why" grep -q "hard links" "$work/err"
check_true "the failed save says so on stdout, after the report" \
    test "$(tail -1 "$work/out")" = "ERROR: The changes could not be saved; the registry file is as it was. [$shive]"
check_true "and the hive is as it was" cmp -s "$shive" "$work/linked.before"
rm -f "$shm/link"

# The right to configure is the right to write the file.
chown nobody:nogroup "$shive" && chmod 0644 "$shive" && chmod 0777 "$(dirname "$shive")"
(cd "$shm/Program Files (x86)/Talvek" && VANDREL_HIVE=$shive runuser -u nobody -- "$tool" /D > "$work/out" 2> "$work/err")
check_true "the hive's owner may configure" test $? = 0
chown root "$shive"
(cd "$shm/Program Files (x86)/Talvek" && VANDREL_HIVE=$shive runuser -u nobody -- "$tool" /D > "$work/out" 2> "$work/err")
check_true "a user who may not write it gets 255" test $? = 255
check_true "with the administrator message" grep -qx "ERROR: Administrator rights are required." "$work/out"
check_true "and standard error says why" grep -q "may not write" "$work/err"
rm -rf "$shm"

# A held lock: said, waited for a bounded time, then a status of its own.
cp "$hive" "$work/locked.before"
flock "$hive" sleep 10 &
holder=$!
for _ in {1..50}; do  # until the holder has the lock, which a loaded machine may take a while to give
    flock -n "$hive" true || break
    sleep 0.1
done
(cd "$talvek" && VANDREL_HIVE=$hive VANDREL_LOCK_TIMEOUT=1 "$tool" /C > "$work/out" 2> "$work/err")
check_true "a held lock: status 75 after the wait" test $? = 75
check_true "says that it waits" grep -q "in use by another program; waiting up to 1 s" "$work/err"
check_true "and that it gave up" grep -q "still in use" "$work/err"
check_true "the hive is untouched" cmp -s "$hive" "$work/locked.before"
kill $holder 2> /dev/null
wait $holder 2> /dev/null

# Temporary files: a killed run's is removed by the next run; a save ended
# by a signal removes its own.
touch "$hive.vandrel-save-AbC123"
(cd "$talvek" && VANDREL_HIVE=$hive "$tool" /S > /dev/null 2>&1)
check_true "a killed run's temporary file is removed by the next run" test ! -e "$hive.vandrel-save-AbC123"
if command -v strace > /dev/null; then
    (cd "$talvek" && VANDREL_HIVE=$hive exec strace -o /dev/null -e inject=fsync:delay_enter=6000000 "$tool" /D \
        > /dev/null 2>&1) &
    tracer=$!
    # The save is held at its fsync for 6 s: wait until its temporary file is there.
    for _ in {1..50}; do
        ls "$(dirname "$hive")" | grep -q vandrel-save && break
        sleep 0.1
    done
    check_true "a save held open has its temporary file" test -n "$(ls "$(dirname "$hive")" | grep vandrel-save)"
    pkill -TERM -P "$tracer"  # the tool, which strace runs
    wait "$tracer" 2> /dev/null
    check_true "a save ended by SIGTERM leaves no temporary file" \
        test -z "$(ls "$(dirname "$hive")" | grep vandrel-save)"
    check_true "and the old hive" cmp -s "$hive" "$work/locked.before"
else
    echo "skip: strace is not installed, so a save cannot be held open for a signal"
fi

# An NTFS image (ntfs-3g): the hive's ACL, DOS attributes and creation time stay.
ntfs=$work/ntfs.img
mnt=$work/ntfs
if command -v mkntfs > /dev/null && truncate -s 24M "$ntfs" && mkntfs -F -Q -q "$ntfs" > /dev/null 2>&1 &&
    mkdir -p "$mnt" && ntfs-3g "$ntfs" "$mnt" 2> /dev/null; then
    image "$mnt"
    nhive=$mnt/Windows/System32/config/SOFTWARE
    acl=$(getfattr -e hex -n system.ntfs_acl "$nhive" 2> /dev/null | sed -n 's/^system.ntfs_acl=//p')
    # Read and execute for the one ACE instead of full control: an ACL of its own.
    setfattr -n system.ntfs_acl -v "${acl/ff011f00/a9001200}" "$nhive"
    setfattr -n system.ntfs_attrib_be -v 0x00000026 "$nhive"  # hidden, system, archive
    setfattr -n system.ntfs_crtime_be -v 0x01d0000000000000 "$nhive"
    attributes() { for a in system.ntfs_acl system.ntfs_attrib_be system.ntfs_crtime_be; do
        getfattr -e hex -n "$a" "$nhive" 2> /dev/null | grep =; done; }
    attributes > "$work/ntfs.before"
    (cd "$mnt/Program Files (x86)/Talvek" && VANDREL_HIVE=$nhive "$tool" /C > /dev/null 2>&1)
    check_true "on ntfs-3g: /C succeeds" test $? = 0
    check_true "the hive's ACL, attributes and creation time stay" diff "$work/ntfs.before" <(attributes)
    check_true "and the hive was written" grep -q "QivDLLHost" <(strings -el "$nhive")
    umount "$mnt"
else
    echo "skip: no ntfs-3g mount here (FUSE or mkntfs not available)"
fi
finish
