# Shared by the end-to-end tests: run the tool as a user would and compare
# its console lines and exit status with what is expected.

failures=0
checks=0

# A scratch folder for the test, removed when it ends.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# check NAME WANT_STATUS GOT_STATUS WANT_FILE GOT_FILE: compares one run;
# fails when it differs.
check() {
    local name=$1 want_status=$2 got_status=$3 want_file=$4 got_file=$5
    checks=$((checks + 1))
    if [[ $got_status != "$want_status" ]] || ! diff -u "$want_file" "$got_file" > "$got_file.diff"; then
        failures=$((failures + 1))
        echo "FAIL: $name (exit $got_status, expected $want_status)"
        cat "$got_file.diff"
        return 1
    else
        echo "ok: $name"
    fi
}

check_true() {
    local name=$1
    shift
    checks=$((checks + 1))
    if "$@"; then
        echo "ok: $name"
    else
        failures=$((failures + 1))
        echo "FAIL: $name"
        return 1
    fi
}

finish() {
    echo "$((checks - failures)) passed, $failures failed"
    [[ $failures == 0 ]]
}

banner() {
    printf '%s\n' "Talvek COM Surrogate configurator Ver.1.0.0" ""
}

usage() {
    printf '%s\n' "Usage:" "Vandrel.exe [/S] [/C] [/D] [/P=<ProgID>]" \
        "    /S             Show the DllSurrogate current value." \
        "    /C             Specify QivDLLHost.exe as COM Surrogate host." \
        "    /D             Specify system default (DLLHost.exe) as COM Surrogate host." \
        "    /P=<ProgID>    Specify the target Provider with ProgID." ""
}

# report PROGID CLSID HOST: the three lines of one provider.
report() {
    printf '%s\n' "Provider ProgID = [$1]" "          CLSID = [$2]" "   DllSurrogate = [$3]"
}

# The example registry's providers, in enumeration order.
A={5E1C7A10-3B2D-4C8E-9F01-00000000A1FA}
B={5E1C7A10-3B2D-4C8E-9F01-00000000B2A0}
C={5E1C7A10-3B2D-4C8E-9F01-00000000C3A5}
D={5E1C7A10-3B2D-4C8E-9F01-00000000D4E1}
E={5E1C7A10-3B2D-4C8E-9F01-00000000E5C0}
F={5E1C7A10-3B2D-4C8E-9F01-00000000F6B3}

# all_reports HOST: every example provider configured with that host.
all_reports() {
    report Talvek.Alpha "$A" "$1"
    report Talvek.Bravo "$B" "$1"
    report Talvek.Charlie "$C" "$1"
    report "" "$D" "$1"
    report Talvek.Echo "$E" "$1"
    report Talvek.Foxtrot "$F" "$1"
}

# The example providers as /S shows them before anything was configured.
shown_before() {
    printf '%s\n' "Provider DllSurrogate validation. "
    report Talvek.Alpha "$A" "-- N/A --"
    report Talvek.Bravo "$B" 'C:\Program Files (x86)\Talvek\QivDLLHost.exe'
    report Talvek.Charlie "$C" ""
    report "" "$D" "-- N/A --"
    report Talvek.Echo "$E" ""
    report Talvek.Foxtrot "$F" ""
}
