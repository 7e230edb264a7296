#!/usr/bin/env bash
# Installs what the builds and the tests need, from Debian's packages, when it
# is missing. Usage: install-deps.sh [native]
#   native: only what the native tool needs (compiler, CMake, libhivex), so
#           that scripts/demo.sh starts within seconds of those packages;
#   (none): everything scripts/test.sh uses besides: GoogleTest, clang's
#           libFuzzer, mingw-w64 for both Windows architectures, Wine (64-bit
#           with its 32-bit half, for WoW64), tmux for the console tests,
#           chntpw as an independent hive reader, ntfs-3g, attr, strace
#           and wimtools for the image pipeline and WIM tests, osslsigncode and openssl for
#           signing, zip and unzip, dpkg-dev and lintian for the Debian
#           package and man-db for its manual page.
set -euo pipefail
mode=${1:-all}

missing=()
need() { command -v "$1" > /dev/null 2>&1 || missing+=("$2"); }
need_package() { dpkg -s "$1" > /dev/null 2>&1 || missing+=("$1"); }
need cmake cmake
need g++ g++
need make make
need pkg-config pkg-config
need_package libhivex-dev
if [[ $mode != native ]]; then
    need i686-w64-mingw32-g++ g++-mingw-w64-i686-posix
    need x86_64-w64-mingw32-g++ g++-mingw-w64-x86-64-posix
    need x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64
    need wine wine
    need_package wine64
    need iconv libc-bin
    need zip zip
    need unzip unzip
    need clang++ clang
    need tmux tmux
    need reged chntpw
    need hivexsh libhivex-bin
    need mkntfs ntfs-3g
    need wimlib-imagex wimtools
    need setfattr attr
    need strace strace
    need osslsigncode osslsigncode
    need dpkg-shlibdeps dpkg-dev
    need lintian lintian
    need man man-db
    need openssl openssl
    [[ -f /usr/include/gtest/gtest.h ]] || missing+=(libgtest-dev)
    # libFuzzer and the sanitizer runtimes of Debian's clang.
    clang_major=$(clang++ --version 2> /dev/null | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -1)
    compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" > /dev/null ||
        missing+=("libclang-rt-${clang_major:-14}-dev")
    dpkg -s wine32:i386 > /dev/null 2>&1 || missing+=(wine32:i386)
fi

if ((${#missing[@]} == 0)); then
    exit 0
fi
echo "Installing: ${missing[*]}"
sudo=""
[[ $(id -u) == 0 ]] || sudo=sudo
if [[ $mode != native ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
# A mirror in mid-sync fails an index now and then; try again, and go on with
# the indexes that did come if it keeps failing (the install says if any
# package is then missing).
for attempt in 1 2 3; do
    $sudo apt-get update -qq && break
    echo "apt-get update failed (attempt $attempt of 3)" >&2
    sleep $((attempt * 5))
done
# install [apt-get options]: installs what is missing; apt's errors go to
# $log, so that a fallback that works leaves one line, not the first error.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
install() {
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" "${missing[@]}" \
        > /dev/null 2>> "$log"
}
install && exit 0
# An index that failed to come (one architecture's of the security suite, say)
# leaves the two architectures at different versions of a Multi-Arch: same
# package, and wine32:i386 cannot be installed. The release's own suite holds
# one version for both: install from it.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
if [[ -n $codename ]]; then
    echo "The install could not be resolved across the suites; installing from $codename's own suite for both architectures" >&2
    install -t "$codename" && exit 0
fi
cat "$log" >&2
also=""
[[ -z $codename ]] || also=", not even from $codename's own suite"
echo "install-deps.sh: could not install ${missing[*]}$also; see apt's errors above" >&2
exit 1
