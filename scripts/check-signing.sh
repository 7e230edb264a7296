#!/usr/bin/env bash
# Signed packages, end to end, with a throwaway CA and code-signing
# certificate made here (no key is ever committed): package signed, verify
# against that CA, tamper with one byte, remove the signature and get the
# unsigned reproducible executable back, run the signed one under Wine, and
# refuse a wrong password without touching dist/.
# Needs WINEPREFIX for the Wine run (scripts/test.sh sets it).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. tests/lib/expect.sh
. scripts/wine-env.sh
version=$(sed -n 's/^#define VANDREL_VERSION_TEXT "\(.*\)"$/\1/p' src/app/version.h)

# The CA, the publisher's certificate (code signing) and its .pfx.
pki=$work/pki
mkdir -p "$pki"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/ca.key" -out "$pki/ca.pem" -days 2 \
    -subj "/CN=Vandrel Test CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2> /dev/null
openssl req -newkey rsa:2048 -nodes -keyout "$pki/publisher.key" -out "$pki/publisher.csr" \
    -subj "/CN=Vandrel Test Publisher/O=Test Publisher" 2> /dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > "$pki/ext.cnf"
openssl x509 -req -in "$pki/publisher.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
    -out "$pki/publisher.pem" -days 2 -extfile "$pki/ext.cnf" 2> /dev/null
echo "correct horse battery" > "$pki/password"
openssl pkcs12 -export -inkey "$pki/publisher.key" -in "$pki/publisher.pem" -certfile "$pki/ca.pem" \
    -out "$pki/publisher.pfx" -passout "file:$pki/password"
check_true "a throwaway CA and code-signing certificate were made" test -s "$pki/publisher.pfx"

scripts/package.sh "$work/unsigned" > /dev/null
check_true "unsigned packages" test -s "$work/unsigned/SHA256SUMS"
VANDREL_SIGN_PFX=$pki/publisher.pfx VANDREL_SIGN_PASSWORD_FILE=$pki/password \
    scripts/package.sh "$work/signed" > /dev/null
check_true "signed packages" test -s "$work/signed/SHA256SUMS"
check_true "SHA256SUMS lists the signed zips" bash -c "cd '$work/signed' && sha256sum --quiet -c SHA256SUMS"

for arch in win32 win64; do
    mkdir -p "$work/$arch/signed" "$work/$arch/unsigned"
    unzip -q "$work/signed/vandrel-$version-$arch.zip" Vandrel.exe -d "$work/$arch/signed"
    unzip -q "$work/unsigned/vandrel-$version-$arch.zip" Vandrel.exe -d "$work/$arch/unsigned"
    signed=$work/$arch/signed/Vandrel.exe
    scripts/check-signature.sh "$signed" "$pki/ca.pem" > "$work/verify" 2>&1
    check_true "$arch: the signature verifies against the CA" test $? = 0
    check_true "$arch: check-signature names the publisher" grep -q "signed by /CN=Vandrel Test Publisher" "$work/verify"
    cp "$signed" "$work/tampered.exe"
    printf '\x5a' | dd of="$work/tampered.exe" bs=1 seek=4096 conv=notrunc 2> /dev/null
    cmp -s "$signed" "$work/tampered.exe"
    check_true "$arch: one byte was changed" test $? = 1
    check_true "$arch: a changed byte fails verification" \
        bash -c "! scripts/check-signature.sh '$work/tampered.exe' '$pki/ca.pem' > /dev/null 2>&1"
    osslsigncode remove-signature -in "$signed" -out "$work/$arch/removed.exe" > /dev/null 2>&1
    check_true "$arch: without its signature it is the unsigned executable, byte for byte" \
        cmp "$work/$arch/removed.exe" "$work/$arch/unsigned/Vandrel.exe"
    if [[ $VANDREL_WINE_64_ONLY == 1 ]] && is_32bit_pe "$signed"; then
        echo "skip: $arch: this kernel cannot run 32-bit x86 programs, so the signed executable is not run"
        continue
    fi
    (cd "$work" && WINEDEBUG=-all wine "$signed" < /dev/null > "$work/raw" 2> /dev/null)
    got=$?
    tr -d '\r' < "$work/raw" > "$work/got"
    { banner; usage; } > "$work/want"
    check "$arch: the signed executable runs under Wine: usage, 255" 255 "$got" "$work/want" "$work/got"
done

# A wrong password stops before anything is built; dist/ stays as it was.
echo "wrong" > "$pki/wrong"
cp -r "$work/unsigned" "$work/kept"
VANDREL_SIGN_PFX=$pki/publisher.pfx VANDREL_SIGN_PASSWORD_FILE=$pki/wrong \
    scripts/package.sh "$work/kept" > /dev/null 2> "$work/err"
check_true "a wrong password fails the packaging" test $? != 0
check_true "with a clear message" grep -q "do not load" "$work/err"
check_true "and dist/ is left as it was" diff -r "$work/unsigned" "$work/kept"
VANDREL_SIGN_PFX=$pki/publisher.pfx VANDREL_SIGN_PASSWORD_FILE=$pki/wrong \
    scripts/package.sh "$work/never" > /dev/null 2>&1
check_true "and a dist/ that did not exist is not made" test ! -e "$work/never"
finish
