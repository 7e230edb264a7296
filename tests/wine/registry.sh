#!/usr/bin/env bash
# RegistryKey and EnumerateSubkeys, built for Windows, against Wine's registry.
. "$(dirname "$0")/lib.sh"
wine "$helpers/registry_probe.exe" < /dev/null > "$work/raw" 2>&1
status=$?
tr -d '\r' < "$work/raw"
check_true "registry probe passes" test $status = 0
finish
