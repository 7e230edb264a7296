#!/usr/bin/env bash
# Creates a throwaway WoW64 Wine prefix at $WINEPREFIX and leaves its server
# running for the whole test run. Wine's background services inherit the
# standard handles of the first program started in a prefix, so that first
# program runs with its output discarded.
set -euo pipefail
: "${WINEPREFIX:?}"
export WINEDEBUG=-all WINEARCH=win64
rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
wineboot -i < /dev/null > /dev/null 2>&1
wineserver -p < /dev/null > /dev/null 2>&1
wine cmd /c exit < /dev/null > /dev/null 2>&1
