# Shared by the Wine tests: arguments, the prefix, running the Windows build
# as a user would, and seeding and reading Wine's registry with its own tools.
# Usage of a test: <script> <Vandrel.exe> <source dir> <helpers dir>
set -u
tool=$1
source_dir=$2
helpers=$3
. "$source_dir/tests/lib/expect.sh"
. "$source_dir/scripts/wine-env.sh"
if [[ $VANDREL_WINE_64_ONLY == 1 ]] && is_32bit_pe "$tool"; then
    echo "skip: this kernel cannot run 32-bit x86 programs (no IA32 emulation), so Wine cannot run the 32-bit build"
    exit 77
fi

export WINEDEBUG=-all
if [[ -z ${WINEPREFIX:-} ]]; then
    export WINEPREFIX=$source_dir/build/wineprefix
    [[ -d $WINEPREFIX/drive_c/windows/system32 ]] || "$source_dir/scripts/wine-prefix.sh"
fi

# Keys that a failed run shows as they then are (reg query /s, both views):
# a test sets it to the keys its runs touch.
watch=()

# explain: what a failed run saw besides its status and output: the whole
# output, standard error, and the watched keys.
explain() {
    echo "  output:"; sed 's/^/    /' "$work/got"
    echo "  standard error:"; sed 's/^/    /' "$work/err"
    local key view
    for key in "${watch[@]}"; do
        for view in 32 64; do
            echo "  reg query $key /s /reg:$view:"
            wine reg query "$key" /s /reg:$view 2>&1 < /dev/null | tr -d '\r' | sed 's/^/    /'
        done
    done
}

# run NAME STATUS DIR ARGS...: the tool under Wine, expected lines on stdin.
run() {
    local name=$1 status=$2 dir=$3
    shift 3
    cat > "$work/want"
    (cd "$dir" && wine "$tool" "$@" > "$work/raw" 2> "$work/err" < /dev/null)
    local got=$?
    tr -d '\r' < "$work/raw" > "$work/got"
    check "$name" "$status" "$got" "$work/want" "$work/got" || explain
}

# The Windows form of a host directory, as Wine shows it to the tool.
windows_path() {
    printf 'Z:%s' "$1" | tr / '\\'
}

# Imports a .reg file; its paths name the 32-bit view's keys explicitly.
reg_import() {
    wine reg import "$1" /reg:64 > /dev/null 2>&1 < /dev/null
}

# reg_value KEY NAME: "TYPE DATA" of one value in the 32-bit view, or "missing".
reg_value() {
    local out
    if [[ -z $2 ]]; then
        out=$(wine reg query "$1" /ve /reg:32 2> /dev/null < /dev/null | tr -d '\r')
    else
        out=$(wine reg query "$1" /v "$2" /reg:32 2> /dev/null < /dev/null | tr -d '\r')
    fi
    local line
    line=$(printf '%s\n' "$out" | grep -E '^    ' | head -1)
    [[ -n $line ]] || { echo missing; return; }
    printf '%s\n' "$line" | sed -E 's/^    [^ ]*( [^ ]+)*    (REG_[A-Z_]+)    ?(.*)$/\2 \3/'
}

# Removes every key the example registry and a configuring run can leave.
reset_registry() {
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        grep -o '^\[HKEY[^]]*\]' "$source_dir/examples/providers.reg" "$@" | sed 's/^[^[]*\[/[-/'
        grep -oh '{[0-9A-F-]*}' "$source_dir/examples/providers.reg" "$@" | sort -u |
            sed 's/.*/[-HKEY_CLASSES_ROOT\\AppID\\&]/'
    } > "$work/reset.reg"
    reg_import "$work/reset.reg"
}
