#!/usr/bin/env bash
# The native tool's save of .reg files of the shapes people write: deletions,
# keys in several sections, mixed line ends, the DOS end-of-file byte. Each
# saved file keeps every line the run did not change, and gives, imported by
# Wine's regedit, the registry that importing the original and then running
# the Windows build over it gives.
. "$(dirname "$0")/lib.sh"
native=$source_dir/build/linux/vandrel
check_true "the native build is there" test -x "$native"
mkdir -p "$work/host"
touch "$work/host/QivDLLHost.exe"

# What a shape's file and a run can touch, removed; and the keys the shapes
# delete or edit, as a machine had them before the file was imported.
clean_slate() {
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_CLASSES_ROOT\\VandrelShape]\r\n'
        grep -oh '{5E1C7A10-[0-9A-F-]*}' "$source_dir"/tests/wine/shapes/*.reg | sort -u |
            sed 's/.*/[-HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\&]\r\n[-HKEY_CLASSES_ROOT\\AppID\\&]\r/'
        printf '[HKEY_CLASSES_ROOT\\VandrelShape\\Gone]\r\n"was"="here"\r\n'
        printf '[HKEY_CLASSES_ROOT\\VandrelShape\\Kept]\r\n"x"="old"\r\n'
    } > "$work/slate.reg"
    reg_import "$work/slate.reg"
}

# The keys a shape and a run touch, as Wine's reg.exe lists them.
registry_state() {
    local key
    for key in 'HKCR\VandrelShape' $(grep -oh '{5E1C7A10-[0-9A-F-]*}' "$1" | sort -u |
        sed 's/.*/HKCR\\CLSID\\& HKCR\\AppID\\&/'); do
        echo "== $key"
        wine reg query "$key" /s /reg:32 < /dev/null 2>&1 | tr -d '\r' | grep -v '^$'
    done
}

for shape in "$source_dir"/tests/wine/shapes/*.reg; do
    name=$(basename "$shape" .reg)
    clean_slate
    reg_import "$shape"
    (cd "$work/host" && wine "$tool" /C < /dev/null > /dev/null 2>&1)
    registry_state "$shape" > "$work/$name.expected"

    cp "$shape" "$work/$name.reg"
    (cd "$work/host" && VANDREL_REGISTRY=$work/$name.reg "$native" /C > /dev/null 2> /dev/null)
    check_true "$name: the native run succeeds" test $? = 0
    clean_slate
    reg_import "$work/$name.reg"
    registry_state "$shape" > "$work/$name.got"
    check_true "$name: imported, the saved file gives what the run gave" diff -u "$work/$name.expected" "$work/$name.got"
    # Every line of the original is still there, in order, but the lines of
    # the values the run wrote.
    diff "$shape" "$work/$name.reg" | grep '^<' | grep -vE '^< *("AppID"|"DllSurrogate"|@) *=' > "$work/$name.lost"
    check_true "$name: no other line of the file changed" test ! -s "$work/$name.lost"
done
clean_slate
printf 'Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_CLASSES_ROOT\\VandrelShape]\r\n' > "$work/end.reg"
reg_import "$work/end.reg"
finish
