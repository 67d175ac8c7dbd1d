#!/usr/bin/env bash
# Fails when a program imports, at load time, a library outside the set the loader takes from
# the system alone: the system's known libraries, and the common controls, which the manifest
# sends to the side-by-side store. Any other is looked for in the program's folder first, where
# a planted copy would run with the elevated program's rights.
#   known-imports.sh PROGRAM
set -u
program=$1
known="advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll user32.dll"
headers=$(x86_64-w64-mingw32-objdump -p "$program") || {
    echo "known-imports: objdump cannot read $program" >&2
    exit 1
}
status=0
# Load-time imports and delay-loaded ones alike are named by "DLL Name:" lines.
while read -r library; do
    lower=${library,,}
    if ! grep -qw -- "$lower" <<<"$known"; then
        echo "known-imports: $(basename "$program") imports $lower, which is not a known system library" >&2
        status=1
    fi
done < <(awk '/DLL Name:/ {print $3}' <<<"$headers")
[ "$status" = 0 ] && echo "known-imports: $(basename "$program") imports known system libraries only"
exit "$status"
