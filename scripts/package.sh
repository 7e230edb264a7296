#!/usr/bin/env bash
# Builds the two Windows executables in Release and packages them:
# dist/vandrel-<version>-win32.zip, dist/vandrel-<version>-win64.zip (each
# holding Vandrel.exe, README.md, LICENSE and CHANGELOG.md) and
# dist/SHA256SUMS; and the native tool as a Debian package,
# dist/vandrel_<version>_amd64.deb (scripts/package-deb.sh). Unsigned by
# default, and then reproducible: the same commit gives the same bytes
# whatever the folder and the time of the build.
#
# Signed with Authenticode (SHA-256) when the environment names a publisher's
# certificate and key:
#   VANDREL_SIGN_PFX            the certificate and its key, PKCS#12 (.pfx)
#   VANDREL_SIGN_PASSWORD_FILE  a file whose first line is the .pfx password
#   VANDREL_SIGN_TIMESTAMP_URL  optional: an RFC 3161 timestamp server
# SHA256SUMS then lists the signed zips. Removing the signature from a signed
# Vandrel.exe (osslsigncode remove-signature) gives back the unsigned,
# reproducible executable byte for byte.
#
# dist/ is written only when everything succeeded: a build, a check or a
# signature that fails leaves it as it was.
# Usage: package.sh [dist folder]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dist=${1:-$root/dist}
build=$root/build/package
version=$(sed -n 's/^#define VANDREL_VERSION_TEXT "\(.*\)"$/\1/p' src/app/version.h)
fail() { echo "package: $*" >&2; exit 1; }

sign_pfx=${VANDREL_SIGN_PFX:-}
sign_password=${VANDREL_SIGN_PASSWORD_FILE:-}
if [[ -n $sign_pfx || -n $sign_password ]]; then
    [[ -n $sign_pfx && -n $sign_password ]] ||
        fail "signing needs both VANDREL_SIGN_PFX and VANDREL_SIGN_PASSWORD_FILE"
    [[ -r $sign_pfx ]] || fail "$sign_pfx: the certificate cannot be read"
    [[ -r $sign_password ]] || fail "$sign_password: the password file cannot be read"
fi

scripts/install-deps.sh
if [[ -n $sign_pfx ]]; then
    # Loaded once before anything is built, so that a wrong password or a file
    # that is no PKCS#12 stops the run at once, with openssl's reason.
    if ! why=$(openssl pkcs12 -in "$sign_pfx" -passin "file:$sign_password" -noout 2>&1) &&
        ! why=$(openssl pkcs12 -legacy -in "$sign_pfx" -passin "file:$sign_password" -noout 2>&1); then
        fail "$sign_pfx: the certificate and key do not load (a wrong password, or not PKCS#12): $(head -1 <<< "$why")"
    fi
fi
# Every file in the archives carries one date: the commit's, or a fixed one.
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2> /dev/null || echo 1767225600)
fi
export TZ=UTC

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
declare -A toolchain=([win32]=mingw-i686 [win64]=mingw-x86_64)
for arch in win32 win64; do
    cmake -S "$root" -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/${toolchain[$arch]}.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF > /dev/null
    cmake --build "$build/$arch" --target vandrel -j "$(nproc)" > /dev/null
    scripts/check-pe.sh "$arch" "$build/$arch/Vandrel.exe" "$version"

    stage=$build/stage-$arch
    rm -rf "$stage" && mkdir -p "$stage"
    cp "$build/$arch/Vandrel.exe" README.md LICENSE CHANGELOG.md "$stage/"
    if [[ -n $sign_pfx ]]; then
        timestamp=()
        [[ -z ${VANDREL_SIGN_TIMESTAMP_URL:-} ]] || timestamp=(-ts "$VANDREL_SIGN_TIMESTAMP_URL")
        osslsigncode sign -pkcs12 "$sign_pfx" -readpass "$sign_password" -h sha256 \
            -n "Vandrel $version" "${timestamp[@]}" \
            -in "$build/$arch/Vandrel.exe" -out "$stage/Vandrel.signed.exe" > "$out/sign.log" 2>&1 ||
            fail "$arch: the signature failed: $(grep -v '^Succeeded' "$out/sign.log" | head -3 | tr '\n' ' ')"
        mv "$stage/Vandrel.signed.exe" "$stage/Vandrel.exe"
    fi
    chmod 0644 "$stage"/*
    touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
    zip_name=vandrel-$version-$arch.zip
    (cd "$stage" && zip -q -X -D "$out/$zip_name" Vandrel.exe README.md LICENSE CHANGELOG.md)
done
export SOURCE_DATE_EPOCH
scripts/package-deb.sh "$out"
deb=vandrel_${version}_$(dpkg --print-architecture).deb
(cd "$out" && sha256sum "vandrel-$version-win32.zip" "vandrel-$version-win64.zip" "$deb" > SHA256SUMS)
mkdir -p "$dist"
rm -f "$dist"/vandrel-*-win*.zip "$dist"/vandrel_*.deb "$dist/SHA256SUMS"
mv "$out"/vandrel-*.zip "$out/$deb" "$out/SHA256SUMS" "$dist/"
cat "$dist/SHA256SUMS"
