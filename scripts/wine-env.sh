# Sourced by everything that runs Wine. Wine's `wine` command starts its
# 32-bit loader whenever that is installed, and a kernel without IA32
# emulation cannot run it ("Exec format error"), so that no Windows program,
# 64-bit ones included, would start. On such a machine Wine runs through its
# 64-bit loader alone (commands of that name first on PATH), and
# VANDREL_WINE_64_ONLY=1 says that 32-bit Windows programs cannot be run here.
if [[ -z ${VANDREL_WINE_64_ONLY:-} ]]; then
    export VANDREL_WINE_64_ONLY=0
    if [[ -x /usr/lib/wine/wine && -x /usr/lib/wine/wine64 ]] && ! /usr/lib/wine/wine --version > /dev/null 2>&1; then
        VANDREL_WINE_64_ONLY=1
        wine_shims=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine64-only
        mkdir -p "$wine_shims"
        for wine_name in wine wine-stable; do
            printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$wine_shims/$wine_name"
            chmod +x "$wine_shims/$wine_name"
        done
        export PATH=$wine_shims:$PATH WINELOADER=/usr/lib/wine/wine64
        unset wine_shims wine_name
    fi
fi

# is_32bit_pe FILE: whether a Windows executable is an x86 (32-bit) one.
is_32bit_pe() {
    local header machine
    header=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
    machine=$(od -An -tx2 -j $((header + 4)) -N 2 "$1" | tr -d ' ')
    [[ $machine == 014c ]]
}
