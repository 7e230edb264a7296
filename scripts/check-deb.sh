#!/usr/bin/env bash
# The native tool's Debian package as an image builder meets it: its files,
# modes and owners, its control fields, lintian, its manual page, and the
# packaged binary run from the extracted package over the bundled example,
# which must give the demo's output.
# Usage: check-deb.sh <the linux build's vandrel, for the demo to compare with>
set -uo pipefail
cd "$(dirname "$0")/.."
built=$(realpath "$1")
. tests/lib/expect.sh
version=$(sed -n 's/^#define VANDREL_VERSION_TEXT "\(.*\)"$/\1/p' src/app/version.h)
arch=$(dpkg --print-architecture)
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2> /dev/null || echo 1767225600)
export SOURCE_DATE_EPOCH

scripts/package-deb.sh "$work/dist" > "$work/build.log" 2>&1
check_true "the package is built" test $? = 0 || { cat "$work/build.log"; finish; exit; }
deb=$work/dist/vandrel_${version}_$arch.deb

dpkg-deb -c "$deb" | awk '{print $1, $2, $6}' > "$work/files"
cat > "$work/want" << EOF
drwxr-xr-x root/root ./
drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/bin/
-rwxr-xr-x root/root ./usr/bin/vandrel
-rwxr-xr-x root/root ./usr/bin/vandrel-wim
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/doc/
drwxr-xr-x root/root ./usr/share/doc/vandrel/
-rw-r--r-- root/root ./usr/share/doc/vandrel/README.md.gz
-rw-r--r-- root/root ./usr/share/doc/vandrel/changelog.Debian.gz
-rw-r--r-- root/root ./usr/share/doc/vandrel/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/vandrel/copyright
drwxr-xr-x root/root ./usr/share/man/
drwxr-xr-x root/root ./usr/share/man/man1/
-rw-r--r-- root/root ./usr/share/man/man1/vandrel-wim.1.gz
-rw-r--r-- root/root ./usr/share/man/man1/vandrel.1.gz
EOF
check "the package's files, modes and owners" 0 0 "$work/want" "$work/files"
check_true "its name, version and architecture" \
    test "$(dpkg-deb -f "$deb" Package Version Architecture | paste -sd' ' -)" = \
    "Package: vandrel Version: $version Architecture: $arch"
depends=$(dpkg-deb -f "$deb" Depends)
check_true "it depends on libhivex0 and libc6, with the versions the binary needs ($depends)" \
    grep -qE '(^|, )libhivex0 \(>= [0-9.]+\)' <<< "$depends"
check_true "and on libc6 by version" grep -qE '(^|, )libc6 \(>= [0-9.]+\)' <<< "$depends"
check_true "and on wimtools, for vandrel-wim" grep -qE '(^|, )wimtools \(>= 1.13\)' <<< "$depends"

lintian --pedantic -I "$deb" > "$work/lintian" 2> /dev/null
check_true "lintian: no tag at all" test ! -s "$work/lintian" || cat "$work/lintian"

dpkg-deb -x "$deb" "$work/root"
for page in vandrel vandrel-wim; do
    MANWIDTH=80 man --warnings -l "$work/root/usr/share/man/man1/$page.1.gz" > "$work/$page.page" 2> "$work/warnings"
    check_true "$page(1) renders without a warning" test ! -s "$work/warnings" || cat "$work/warnings"
done
mv "$work/vandrel.page" "$work/page"
for word in VANDREL_HIVE VANDREL_REGISTRY VANDREL_SYSTEM_DRIVE VANDREL_LOCK_TIMEOUT /S /C /D /P= /L /U= /J; do
    check_true "the manual page names $word" grep -qF -- "$word" "$work/page"
done
for status in 0 1 253 254 255 64 65 74 75; do
    check_true "the manual page gives status $status" grep -qE "^ +$status( |$)" "$work/page"
done

# demo NAME TOOL: the demo's output, its scratch folder's name made one.
demo() { scripts/demo.sh "$2" 2>&1 | sed -E 's/tmp\.[A-Za-z0-9]{10}/tmp.X/g' > "$work/$1.demo"; }
demo want "$built"
demo got "$work/root/usr/bin/vandrel"
check "the packaged binary gives the demo's output" 0 0 "$work/want.demo" "$work/got.demo"
check_true "which configures the example's providers" grep -q 'QivDLLHost.exe\]' "$work/got.demo"
finish
