#!/usr/bin/env bash
# Builds Bexlo and runs it under Wine on the simulated enclosures described in
# build/windows-x64/bin/sim/enclosures.txt (one family-1 enclosure as E: unless that file says
# otherwise); each enclosure's drive letters are mapped to folders below build/windows-x64/sim-disks.
# The first time, it makes a demo folder C:\Bexlo demo and, when nothing was saved yet, saves it
# for backup into FilesBackup on the first enclosure drive, which a new demo folder empties.
# With a display the program opens there and runs until it is ended; press the button with
# build/windows-x64/bin/sim/BexloSim.exe (its window, or "BexloSim press E"). Without a display
# it plays the main job on a private X display: the dialog comes up, the button is pressed, the
# progress runs to "Copy complete!", the backup is compared with the sources, screenshots of each
# stage land in build/windows-x64/artifacts, and the program is ended.
set -u
cd "$(dirname "$0")/.."
source scripts/lib/common.sh
scripts/bootstrap.sh || exit 1

cmake --preset windows-x64 >/dev/null || exit 1
cmake --build --preset windows-x64 --target Bexlo BexloSim || exit 1

build=$PWD/build/windows-x64
prefix=$build/wine/run-prefix
program=$build/bin/Bexlo.exe
state=$build/bin/sim/enclosures.txt
if [ ! -f "$state" ]; then
    cat >"$state" <<'STATE'
# One enclosure per line; BexloSim.exe changes this file while the program runs.
enclosure family=1 letters=E signature=0x5EB0C5E1 offsets=32256 serial=0x0000BE7C key=present attached=yes presses=0 physical=1
STATE
fi

# The enclosures' drives exist before the prefix's wineserver starts.
drives=()
while read -r letters serial; do
    for ((i = 0; i < ${#letters}; i++)); do
        drives+=("$(tr 'A-Z' 'a-z' <<<"${letters:i:1}"):hd:${serial#0x}")
    done
done < <(sed -n 's/^enclosure.*letters=\([A-Z]*\).*serial=\(0x[0-9A-Fa-f]*\).*/\1 \2/p' "$state")
bexlo_wine_prefix "$prefix"
bexlo_wineserver_stop "$prefix"
bexlo_map_drives "$prefix" "$build/sim-disks" "${drives[@]}"

first=${drives[0]%%:*}
first=${first^^}
backup="$build/sim-disks/${first,,}/FilesBackup"

# The sources to back up: a demo folder, made once, with photos that start as JPEG files do. A new
# demo starts from an empty backup folder: a press would replace every copy of an earlier demo at
# once, and Bexlo stops to ask before that.
demo="$prefix/drive_c/Bexlo demo"
if [ ! -d "$demo" ]; then
    rm -rf "$backup"
    # A new demo folder is not the one saved before: it is saved anew below.
    rm -f "$prefix/drive_c/Program Files/Travenor/BXL/path.txt"
    for i in $(seq -w 1 40); do
        mkdir -p "$demo/Documents/Letters" "$demo/Pictures/2026"
        printf 'Letter %s\r\n' "$i" >"$demo/Documents/Letters/letter-$i.txt"
        { printf '\xFF\xD8\xFF\xE0' && head -c 1048572 /dev/urandom; } \
            >"$demo/Pictures/2026/photo-$i.jpg"
    done
fi
bexlo_seed_saved_choice "$prefix" "$first:\\FilesBackup" "${drives[0]##*:}" \
    'C:\Bexlo demo\Documents' 'C:\Bexlo demo\Pictures'

if [ -n "${DISPLAY:-}" ]; then
    WINEPREFIX="$prefix" wine "$program" /simulate "$@"
    exit $?
fi

cleanup() {
    bexlo_end_program "$prefix"
    bexlo_wineserver_stop "$prefix"
    bexlo_stop_display
}
trap cleanup EXIT
bexlo_ensure_display || exit 1
artifacts=$build/artifacts
bexlo_start_and_shoot "$prefix" "$artifacts/run-main-dialog.png" "$program" /simulate "$@" \
    >/dev/null
echo "Bexlo is up on a private display: $artifacts/run-main-dialog.png"

# The main job: the button pressed, the progress shown, "Copy complete!", the backup on the disk.
shown() { xwininfo -root -tree 2>/dev/null | grep -q "\"$1\": "; }
# A run greys the dialog's buttons and moves its bar, or ends at once in a box.
read -r width height x y < <(xwininfo -name Bexlo | awk '/Width:/ {w = $2} /Height:/ {h = $2}
    /Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4} END {print w, h, x, y}')
dialog_picture() { import -window root -crop "${width}x${height}+${x}+${y}" +repage rgb:- | md5sum; }
idle=$(dialog_picture)
run_begun() { [ "$(dialog_picture)" != "$idle" ] || shown Information || ended_otherwise >/dev/null; }
# The caption of a box that ends the run without "Copy complete!", or asks before it, if one is
# shown.
ended_otherwise() {
    local caption
    for caption in "Copy Fail" "No Path File" "Key Lost" "Different Volume" "Many Changes"; do
        shown "$caption" && echo "$caption" && return 0
    done
    return 1
}
# Photographs the screen into $1 once two pictures in a row are the same.
photograph_still() {
    local previous="" current i
    for i in $(seq 1 30); do
        import -window root "$1"
        current=$(convert "$1" rgb:- | md5sum)
        [ "$current" = "$previous" ] && return 0
        previous=$current
        sleep 0.3
    done
}
bexlo_press_until_run "$state" "$first" run_begun env WINEPREFIX="$prefix" wine \
    "$build/bin/sim/BexloSim.exe" || {
    import -window root "$artifacts/run-complete.png"
    echo "  no run began after pressing the button of $first ($artifacts/run-complete.png)" >&2
    exit 1
}
echo "pressed the button of enclosure $first:"
import -window root "$artifacts/run-progress.png"
echo "  progress: $artifacts/run-progress.png"
ending=""
for i in $(seq 1 1000); do
    shown Information && ending=complete && break
    ending=$(ended_otherwise) && break
    sleep 0.2
done
photograph_still "$artifacts/run-complete.png"
case $ending in
    complete) echo "  end: $artifacts/run-complete.png" ;;
    "")
        echo "  the run did not end ($artifacts/run-complete.png)" >&2
        exit 1
        ;;
    *)
        echo "  the run ended with the box \"$ending\" ($artifacts/run-complete.png)" >&2
        exit 1
        ;;
esac
if diff -r "$demo/Documents" "$backup/Documents" >/dev/null &&
    diff -r "$demo/Pictures" "$backup/Pictures" >/dev/null; then
    echo "  the backup in $backup matches the sources byte for byte"
else
    echo "  the backup in $backup differs from the sources" >&2
    exit 1
fi
