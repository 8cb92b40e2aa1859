#!/usr/bin/env bash
# The import check must fail on what it exists to catch. Feeds it canned
# objdump output, and a copy of the real build with a flag cleared, and
# expects each fault to be named.
# usage: imports_selftest.sh OBJDUMP ARCH EXE
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
objdump=$1 arch=$2 exe=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0

# usage: check NAME ARCH EXPECT(ok|text to find) OBJDUMP FILE
check() {
    local name=$1 arch=$2 expect=$3
    out=$(bash "$here/imports.sh" "$4" "$arch" "$5" 2>&1)
    rc=$?
    if [ "$expect" = ok ]; then
        [ $rc -eq 0 ] || { echo "FAIL $name: expected success, got: $out"; fail=1; }
    else
        [ $rc -ne 0 ] && grep -qF -- "$expect" <<<"$out" ||
            { echo "FAIL $name: expected '$expect', got (rc $rc): $out"; fail=1; }
    fi
}

# usage: case_ NAME ARCH EXPECT <<< "objdump -p output"
case_() {
    cat >"$tmp/dump.txt"
    printf '#!/bin/sh\ncat "%s"\n' "$tmp/dump.txt" >"$tmp/objdump"
    chmod +x "$tmp/objdump"
    check "$1" "$2" "$3" "$tmp/objdump" fake.exe
}

dump() {  # subsystem major, minor, then "DLL function" pairs
    printf 'MajorSubsystemVersion\t%s\nMinorSubsystemVersion\t%s\n' "$1" "$2"
    printf 'DllCharacteristics\t00008140\n\n'
    shift 2
    local last=
    while [ $# -gt 0 ]; do
        if [ "$1" != "$last" ]; then
            printf '\n\tDLL Name: %s\n\tvma:  Hint/Ord Member-Name Bound-To\n' "$1"
            last=$1
        fi
        printf '\t4338c\t  563  %s\n' "$2"
        shift 2
    done
    printf '\n'
}

case_ clean i686 ok <<<"$(dump 5 01 KERNEL32.dll CreateProcessW USER32.dll CreateWindowExW)"
case_ subsystem i686 "above 5.01" <<<"$(dump 6 00 KERNEL32.dll CreateProcessW)"
case_ tick64 i686 "kernel32.dll!GetTickCount64" <<<"$(dump 5 01 KERNEL32.dll GetTickCount64)"
case_ srw i686 "AcquireSRWLockExclusive" <<<"$(dump 5 01 KERNEL32.dll AcquireSRWLockExclusive)"
case_ regtree i686 "RegDeleteTreeW" <<<"$(dump 5 01 ADVAPI32.dll RegDeleteTreeW)"
case_ localeex i686 "GetLocaleInfoEx" <<<"$(dump 5 01 KERNEL32.dll GetLocaleInfoEx)"
case_ uxtheme x86_64 "uxtheme.dll at load time" <<<"$(dump 5 02 UxTheme.dll EnableTheming)"
case_ runtime x86_64 "libstdc++-6.dll" <<<"$(dump 5 02 libstdc++-6.dll _ZSt4cout)"
case_ x64newer x86_64 ok <<<"$(dump 6 00 KERNEL32.dll GetTickCount64)"
case_ empty i686 "no imports found" <<<"$(dump 5 01)"

# The real build passes; a copy with IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE
# cleared fails. DllCharacteristics lies 70 bytes into the optional header,
# after the PE signature and the file header, in PE32 and PE32+ alike.
le() { od -An -tu"$2" -j"$1" -N"$2" "$tmp/plain.exe" | tr -d ' '; }
cp "$exe" "$tmp/plain.exe"
at=$(($(le 60 4) + 4 + 20 + 70))
flags=$(le "$at" 2)
cleared=$((flags & ~0x8000))
printf "$(printf '\\x%02x\\x%02x' $((cleared & 255)) $((cleared >> 8)))" |
    dd of="$tmp/plain.exe" bs=1 seek="$at" conv=notrunc status=none
[ "$(le "$at" 2)" -eq "$cleared" ] || { echo "FAIL: could not rewrite $tmp/plain.exe"; fail=1; }
check built "$arch" ok "$objdump" "$exe"
check not-tsaware "$arch" "IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE" "$objdump" "$tmp/plain.exe"

[ $fail -eq 0 ] && echo "ok: the import check names every planted fault"
exit $fail
