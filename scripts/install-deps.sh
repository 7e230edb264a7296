#!/usr/bin/env bash
# Installs what the builds and the tests need, from Debian's packages, when it
# is missing: the native toolchain and GoogleTest, mingw-w64 for both Windows
# architectures, and Wine (64-bit with its 32-bit half, for WoW64).
set -euo pipefail

missing=()
need() { command -v "$1" > /dev/null 2>&1 || missing+=("$2"); }
need cmake cmake
need g++ g++
need make make
need i686-w64-mingw32-g++ g++-mingw-w64-i686-posix
need x86_64-w64-mingw32-g++ g++-mingw-w64-x86-64-posix
need x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64
need wine wine
dpkg -s wine64 > /dev/null 2>&1 || missing+=(wine64)
need iconv libc-bin
need zip zip
need clang++ clang
need unzip unzip
[[ -f /usr/include/gtest/gtest.h ]] || missing+=(libgtest-dev)
# libFuzzer and the sanitizer runtimes of Debian's clang.
compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" > /dev/null ||
    missing+=("libclang-rt-$(clang++ --version 2> /dev/null | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -1)-dev")
dpkg -s wine32:i386 > /dev/null 2>&1 || missing+=(wine32:i386)

if ((${#missing[@]} == 0)); then
    exit 0
fi
echo "Installing: ${missing[*]}"
sudo=""
[[ $(id -u) == 0 ]] || sudo=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" > /dev/null
