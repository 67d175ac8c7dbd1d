#!/usr/bin/env bash
# Makes the pictures of docs/guide.md from the program itself: Bexlo runs under Wine on a
# simulated enclosure (E:) on a private X display, is driven through its own windows (keys and
# clicks, and build/windows-x64/bin/tools/Poke.exe), and each stage is photographed into
# docs/images/ as a small PNG. Run it again when the dialogs change.
set -u
cd "$(dirname "$0")/.."
source scripts/lib/common.sh
scripts/bootstrap.sh || exit 1
cmake --preset windows-x64 >/dev/null || exit 1
cmake --build --preset windows-x64 --target Bexlo BexloSim bexlo_lang Poke || exit 1

build=$PWD/build/windows-x64
prefix=$build/wine/guide-prefix
disks=$build/guide-disks
# The program takes simulated enclosures only from its own "sim" folder or one in it.
sim=$build/bin/sim/guide
images=$PWD/docs/images
shot=$build/guide-shot.png
program=$build/bin/Bexlo.exe
data="$prefix/drive_c/Program Files/Travenor/BXL"
demo="$prefix/drive_c/Bexlo demo"
mkdir -p "$images"

say() { echo "guide-pictures: $*"; }
fail() {
    mkdir -p "$build/artifacts"
    [ -n "${DISPLAY:-}" ] && import -window root "$build/artifacts/guide-failure.png"
    echo "guide-pictures: $* (the screen: $build/artifacts/guide-failure.png)" >&2
    exit 1
}
poke() { wine "$build/bin/tools/Poke.exe" "$@" >/dev/null 2>&1; }
sim_tool() { wine "$sim/BexloSim.exe" --folder "$(bexlo_windows_path "$sim")" "$@" >/dev/null 2>&1; }

# The window captioned $1 as shown: "left top width height" of the window and of its client area
# (the prefix keeps its windows in one desktop window at the screen's corner).
rect() {
    local shown
    shown=$(wine "$build/bin/tools/Poke.exe" rect "$1" 2>/dev/null) || return 1
    printf '%s\n' "${shown%$'\r'}"
}

# Waits up to $2 seconds for the window captioned $1 to be shown; true when it was.
wait_window() {
    local i
    for i in $(seq 1 $(($2 * 4))); do
        rect "$1" >/dev/null && return 0
        sleep 0.25
    done
    return 1
}

# Photographs the window captioned $1 into the file $2; with "still" as $3, once its picture has
# stopped changing.
photograph() {
    local name=$1 png=$2 previous="" current x y width height i
    for i in $(seq 1 30); do
        read -r x y width height _ <<<"$(rect "$name")"
        [ -n "${height:-}" ] || fail "no window \"$name\" to photograph"
        import -window root -crop "${width}x${height}+${x}+${y}" +repage "$png"
        [ "${3:-}" = still ] || return 0
        current=$(md5sum <"$png")
        [ "$current" = "$previous" ] && return 0
        previous=$current
        sleep 0.3
    done
}

# Makes docs/images/$1.png of the picture $2: a palette of 64 colours keeps it small.
keep() {
    convert "$2" -strip -colors 64 "PNG8:$images/$1.png"
    rm -f "$2"
    say "$images/$1.png"
}

# Photographs the window captioned $1, once still, into docs/images/$2.png.
shoot() {
    photograph "$1" "$shot" still
    keep "$2" "$shot"
}

# Clicks into a blank part of the tree whose rectangle in dialog units is $1 (x y width height),
# which gives it the focus, then presses the keys $2...: the dialog's client area is 321 dialog
# units wide and 254 high, whatever the font makes them in pixels.
tree_keys() {
    local x y w h left top width height key
    read -r x y w h <<<"$1"
    shift
    read -r _ _ _ _ left top width height <<<"$(rect Bexlo)"
    # With no window manager, X gives the desktop window the keyboard only when asked to.
    xdotool search --name 'Wine desktop' windowfocus --sync >/dev/null 2>&1
    xdotool mousemove $((left + (x + w / 2) * width / 321)) $((top + (y + h - 6) * height / 254)) \
        click 1
    sleep 0.3
    for key in "$@"; do
        case $key in
            type:*) xdotool type --delay 100 "${key#type:}" ;;
            *) xdotool key "$key" ;;
        esac
        # A drive or folder being opened lists its folders first.
        sleep 0.4
    done
}

start_bexlo() {
    wine "$program" "/simulate=$(bexlo_windows_path "$sim")" >/dev/null 2>&1 &
    wait_window Bexlo 30 || fail "the dialog did not show"
    photograph Bexlo "$shot" still
}

cleanup() {
    [ -n "${holder:-}" ] && kill "$holder" 2>/dev/null
    bexlo_end_program "$prefix"
    bexlo_wineserver_stop "$prefix"
    bexlo_stop_display
}
trap cleanup EXIT
unset DISPLAY
bexlo_ensure_display || exit 1
export WINEPREFIX=$prefix

# A prefix, disk, simulator and data folder made anew, so that every picture starts the same.
bexlo_wineserver_stop "$prefix"
rm -rf "$prefix" "$disks" "$sim"
bexlo_wine_prefix "$prefix" desktop
bexlo_map_drives "$prefix" "$disks" e:hd:0000BE7C
mkdir -p "$sim"
cp "$build/bin/sim/"*.dll "$build/bin/sim/BexloSim.exe" "$sim/"
cat >"$sim/enclosures.txt" <<'STATE'
enclosure family=1 letters=E signature=0x5EB0C5E1 offsets=32256 serial=0x0000BE7C key=present attached=yes presses=0 physical=1
STATE
mkdir -p "$demo/Documents/Letters" "$demo/Pictures/2026"
for i in $(seq -w 1 30); do
    printf 'Letter %s\r\n' "$i" >"$demo/Documents/Letters/letter-$i.txt"
    head -c 4194304 /dev/urandom >"$demo/Pictures/2026/photo-$i.jpg"
done
mkdir -p "$data" "$disks/e/FilesBackup"
cp lang/*.txt "$data/"
# The backup record of the enclosure's volume; the choice itself is made in the dialog and saved.
bexlo_seed_saved_choice "$prefix" 'E:\FilesBackup' 0000BE7C 'C:\Bexlo demo\Documents' >/dev/null
rm -f "$data/path.txt"
bexlo_wineserver_persist "$prefix"

# The main dialog with two sources ticked and the destination chosen, then saved. The source tree
# lists C: and Z:, the destination tree the enclosure's E: as well.
start_bexlo
tree_keys "16 61 135 134" Home Right Right Right "type:Bexlo" Right Right space Down space
tree_keys "171 61 135 134" Home Right Right Down Right Right
poke command Bexlo 1004
for i in $(seq 1 50); do
    [ -f "$data/path.txt" ] && break
    sleep 0.1
done
[ -f "$data/path.txt" ] || fail "Save wrote no path.txt"
shoot Bexlo main-dialog

# The new-folder dialog of the destination tree.
poke command Bexlo 1026
wait_window "Making New Directory" 10 || fail "the new-folder dialog did not show"
shoot "Making New Directory" new-folder
poke command "Making New Directory" 2

# The tray menu: the dialog goes to the notification area (Esc), and a right click on the icon
# opens the menu with its bottom left corner at the pointer.
poke command Bexlo 2
for i in $(seq 1 40); do
    rect Bexlo >/dev/null || break
    sleep 0.25
done
xdotool mousemove 700 500
poke message Bexlo 0x405 1 0x204
sleep 1
import -window root -crop 200x110+690+400 +repage "$shot"
keep tray-menu "$shot"
# WM_CANCELMODE closes the menu.
poke message Bexlo 0x1F 0 0

# A press while the dialog waits in the notification area: the progress window, then the end.
progress_shown() { rect "Copying..." >/dev/null; }
bexlo_press_until_run "$sim/enclosures.txt" E progress_shown sim_tool ||
    fail "the progress window did not show"
photograph "Copying..." "$shot"
keep progress "$shot"
wait_window Information 120 || fail "the run did not end with its box"
shoot Information copy-complete
poke command Information 1

# A failed run: a source file held open by another program cannot be copied.
rm -rf "$disks/e/FilesBackup"
wine "$build/bin/tools/Poke.exe" hold 'C:\Bexlo demo\Documents\Letters\letter-07.txt' \
    >"$build/guide-hold.txt" 2>&1 &
holder=$!
for i in $(seq 1 100); do
    grep -q held "$build/guide-hold.txt" 2>/dev/null && break
    sleep 0.1
done
run_shown() { rect "Copying..." >/dev/null || rect "Copy Fail" >/dev/null || rect Information >/dev/null; }
bexlo_press_until_run "$sim/enclosures.txt" E run_shown sim_tool || fail "no second run began"
ending=""
for i in $(seq 1 300); do
    if rect "Copy Fail" >/dev/null; then
        ending=box
    elif rect Information >/dev/null; then
        ending=complete
    fi
    [ -n "$ending" ] && break
    sleep 0.2
done
case $ending in
    box)
        shoot "Copy Fail" copy-fail
        poke command "Copy Fail" 1
        ;;
    complete)
        say "the run copied the held file after all: no copy-fail.png made"
        poke command Information 1
        ;;
    *) fail "the failed run showed no box" ;;
esac
kill "$holder" 2>/dev/null
holder=""

# Every photo overwritten as ransomware would: the next press asks first, and is cancelled.
for i in $(seq -w 1 30); do
    head -c 65536 /dev/urandom >"$demo/Pictures/2026/photo-$i.jpg"
done
ask_shown() { rect "Many Changes" >/dev/null; }
bexlo_press_until_run "$sim/enclosures.txt" E ask_shown sim_tool || fail "the press did not ask"
shoot "Many Changes" many-changes
# Backing up all keeps the photos' earlier copies in the versions folder, as Explorer shows it.
poke command "Many Changes" 6
wait_window Information 120 || fail "the backup after the ask did not end"
poke command Information 1
wine explorer 'E:\FilesBackup\Bexlo versions' >/dev/null 2>&1 &
wait_window "Bexlo versions" 30 || fail "Explorer did not show the versions folder"
shoot "Bexlo versions" versions-folder
poke message "Bexlo versions" 0x10 0 0

# A backup copy that decays on the enclosure, its size and time kept, is named by a check.
photo="$disks/e/FilesBackup/Pictures/2026/photo-05.jpg"
touch -r "$photo" "$build/guide-written"
printf 'decayed' | dd of="$photo" bs=1 seek=4096 conv=notrunc status=none
touch -r "$build/guide-written" "$photo"
poke command Bexlo 32775
wait_window "Backup check" 300 || fail "the check did not end with its box"
shoot "Backup check" check-end
poke command "Backup check" 1
bexlo_end_program "$prefix"

# The reminder of a backup last made 10 days ago, shown at logon with no enclosure attached.
sed -i 's/attached=yes/attached=no/' "$sim/enclosures.txt"
printf '\xff\xfe' >"$data/LastBackup.txt"
bexlo_utf16 "Complete=$((($(date +%s) - 10 * 86400 + 11644473600) * 10000000))"$'\r\n' \
    >>"$data/LastBackup.txt"
wine "$program" "/simulate=$(bexlo_windows_path "$sim")" >/dev/null 2>&1 &
sleep 4
import -window root -crop 480x200+800+824 +repage "$shot"
keep reminder "$shot"
bexlo_end_program "$prefix"
sed -i 's/attached=no/attached=yes/' "$sim/enclosures.txt"

# The dialog in German, as Setup.txt chooses.
printf '\xff\xfe' >"$data/Setup.txt"
bexlo_utf16 $'[MAIN]\r\nUI_String=German\r\nMsg_String=German\r\n' >>"$data/Setup.txt"
start_bexlo
shoot Bexlo main-dialog-german

# The main dialog at 150 % and 200 % display scale, in English, with the same choice made.
printf '\xff\xfe' >"$data/Setup.txt"
bexlo_utf16 $'[MAIN]\r\nUI_String=English\r\nMsg_String=English\r\n' >>"$data/Setup.txt"
for scale in 150:144 200:192; do
    bexlo_end_program "$prefix"
    bexlo_wineserver_stop "$prefix"
    bexlo_set_log_pixels "$prefix" "${scale#*:}"
    bexlo_wineserver_persist "$prefix"
    start_bexlo
    tree_keys "16 61 135 134" Home Right Right Right "type:Bexlo" Right Right space Down space
    tree_keys "171 61 135 134" Home Right Right Down Right Right
    shoot Bexlo "main-dialog-${scale%:*}"
done
