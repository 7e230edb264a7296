#!/usr/bin/env bash
# Creates a throwaway WoW64 Wine prefix at $WINEPREFIX and leaves its server
# running for the whole test run. Wine's background services inherit the
# standard handles of the first program started in a prefix, so that first
# program runs with its output discarded.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
: "${WINEPREFIX:?}"
export WINEDEBUG=-all WINEARCH=win64
wineserver -k > /dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
# The server starts first and stays for the whole run.
wineserver -p < /dev/null > /dev/null 2>&1
wineboot -i < /dev/null > /dev/null 2>&1
wine cmd /c exit < /dev/null > /dev/null 2>&1 || true
test -d "$WINEPREFIX/drive_c/windows/system32"
