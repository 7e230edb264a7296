#!/usr/bin/env bash
# Verifies the Authenticode signature of a Vandrel.exe against a CA
# certificate and says who signed it. Exit status 0 only when the signature
# is intact and its certificate chains to that CA.
# Usage: check-signature.sh <Vandrel.exe> <CA certificate, PEM>
set -uo pipefail
(($# == 2)) || { echo "usage: check-signature.sh <Vandrel.exe> <CA certificate, PEM>" >&2; exit 2; }
exe=$1 ca=$2
[[ -r $exe ]] || { echo "check-signature: $exe cannot be read" >&2; exit 1; }
[[ -r $ca ]] || { echo "check-signature: $ca cannot be read" >&2; exit 1; }
report=$(osslsigncode verify -CAfile "$ca" -in "$exe" 2>&1)
status=$?
signer=$(sed -n '/Signer #0:/{n;s/^[[:space:]]*Subject: //p;q}' <<< "$report")
if ((status == 0)); then
    echo "$exe: signature verified; signed by ${signer:-an unnamed signer} (SHA-256, chain to $ca)"
    exit 0
fi
echo "$exe: the signature does NOT verify${signer:+ (it names $signer)}:" >&2
grep -Ei 'fail|error|mismatch|not' <<< "$report" | head -5 >&2
exit 1
