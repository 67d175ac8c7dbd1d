#!/usr/bin/env bash
# Checks what an installer carries without running it (a 32-bit one cannot run here): the program
# for the right processor, importing none of the Windows 7 functions it looks up and no library
# outside the known system set, no simulator beside it or inside it, no program for its temporary
# folder, and the three language packs as they are in lang/.
#   installer-contents.sh INSTALLER x86|x64 LANG_FOLDER
set -u
installer=$1 arch=$2 lang=$3
fail() {
    echo "installer-contents: $*" >&2
    exit 1
}
[ -f "$installer" ] || fail "no installer at $installer"
listing=$(7z l -ba "$installer") || fail "7z cannot read $installer"
echo "$listing"
for file in Bexlo.exe 'UI_String(U).txt' 'Msg_String(U).txt' Setup.txt; do
    grep -qF " $file" <<<"$(grep -v 'PLUGINSDIR' <<<"$listing")" || fail "$file is not installed"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
7z x -y -o"$work" "$installer" >/dev/null || fail "7z cannot unpack $installer"
case $arch in
    x86) format=pei-i386 ;;
    x64) format=pei-x86-64 ;;
    *) fail "unknown processor $arch" ;;
esac
x86_64-w64-mingw32-objdump -f "$work/Bexlo.exe" | grep -q "file format $format" ||
    fail "Bexlo.exe is not a $format program: $(x86_64-w64-mingw32-objdump -f "$work/Bexlo.exe")"
# On an older system the loader would refuse a program importing one of them before its version
# check could end it with its own message.
imports=$(x86_64-w64-mingw32-objdump -p "$work/Bexlo.exe")
for name in ChangeWindowMessageFilterEx SetDefaultDllDirectories; do
    ! grep -qw "$name" <<<"$imports" || fail "Bexlo.exe imports $name, which Vista lacks"
done
"$(dirname "$0")/known-imports.sh" "$work/Bexlo.exe" || fail "Bexlo.exe imports an unknown library"
# The simulator's stand-in vendor libraries never ship: the program would load them as the real
# ones.
! grep -qiE 'BexloSim|enclosures\.txt|(PLx507|JMUsbDll|JMESata|sp216)\.dll' <<<"$listing" ||
    fail "the installer carries the simulator"
# Nor does the simulator itself: the program people install has no option that starts it and no
# code of it, so none of its texts (narrow, wide) or class names.
simulator=$({
    x86_64-w64-mingw32-strings -a "$work/Bexlo.exe"
    x86_64-w64-mingw32-strings -a -el "$work/Bexlo.exe"
} | grep -iE 'simulat|enclosures\.txt|SimState|BexloSim' | sort -u)
[ -z "$simulator" ] || fail "Bexlo.exe holds the simulator: $(head -n 5 <<<"$simulator" | tr '\n' ' ')"
# Setup runs elevated: a program unpacked into its temporary folder, which the person's ordinary
# processes may write, could be swapped before it runs.
! grep -qiE '\$PLUGINSDIR/[^ ]*\.exe' <<<"$listing" ||
    fail "the installer unpacks a program into its temporary folder"
for pack in "$lang"/*.txt; do
    cmp -s "$pack" "$work/$(basename "$pack")" || fail "$(basename "$pack") differs from $pack"
done
echo "installer-contents: $installer carries a $format Bexlo.exe and the language packs"
