#!/usr/bin/env bash
# Times the whole program from a press of a simulated enclosure's button to its "Copy complete!"
# box, a Copy-mode backup of 5,000 files of 4 KiB in 50 folders, next to Wine's xcopy of the same
# tree onto the same disk in the same run. Prints the medians of five rounds beside the goal.
# Measures only; fails only when the program cannot be run.
set -u
root_dir=$(cd "$(dirname "$0")/.." && pwd)
source "$root_dir/scripts/lib/common.sh"
build=$BEXLO_BUILD_DIR
prefix="$build/wine/run-bench-prefix"
# The program takes simulated enclosures only from its own "sim" folder or one in it.
sim="$build/bin/sim/run-bench"
disks="$build/run-bench-disks"
rounds=${BEXLO_BENCH_ROUNDS:-5}

bexlo_ensure_display || exit 1
cleanup() {
    bexlo_end_program "$prefix"
    bexlo_wineserver_stop "$prefix"
    bexlo_stop_display
    rm -rf "$disks" "$prefix/drive_c/bench-source"
}
trap cleanup EXIT

rm -rf "$sim" "$disks"
mkdir -p "$sim"
cp "$build"/bin/sim/*.dll "$build"/bin/sim/BexloSim.exe "$sim/"
cat >"$sim/enclosures.txt" <<'STATE'
enclosure family=3 letters=E signature=0x0E0E0E0E offsets=1048576 serial=0x0000000E key=present attached=yes presses=0 physical=1
STATE
bexlo_wine_prefix "$prefix"
bexlo_wineserver_stop "$prefix"
bexlo_map_drives "$prefix" "$disks" e:hd:0000000E
rm -rf "$prefix/drive_c/Program Files/Travenor"
source_dir="$prefix/drive_c/bench-source"
rm -rf "$source_dir"
bexlo_make_small_files "$source_dir/small" || exit 1
sync
bexlo_seed_saved_choice "$prefix" 'E:\FilesBackup' 0000000E 'C:\bench-source\small' >/dev/null

seconds_since() { awk -v a="$(bexlo_now)" -v b="$1" 'BEGIN { printf "%.3f", a - b }'; }
box_shown() { xwininfo -root -tree 2>/dev/null | grep -q "\"$1\": "; }
# Each press notes its time in `start`.
press_timed() {
    start=$(bexlo_now)
    WINEPREFIX="$prefix" wine "$sim/BexloSim.exe" --folder "$(bexlo_windows_path "$sim")" "$@"
}
# A run makes its destination folder first.
run_begun() { [ -d "$disks/e/FilesBackup" ] || box_shown Information || box_shown "Copy Fail"; }

# The program's run, timed from the press until its box shows.
time_program() {
    rm -rf "$disks/e/FilesBackup"
    # Written out now: the run flushes what it writes, which would wait for this removal.
    sync
    bexlo_start_and_shoot "$prefix" "$build/artifacts/run-bench.png" "$build/bin/Bexlo.exe" \
        "/simulate=$(bexlo_windows_path "$sim")"
    local shown="" i
    # The program drains presses for its first moments: the press is made again until a run
    # begins, and the time runs from the press that began it.
    bexlo_press_until_run "$sim/enclosures.txt" E run_begun press_timed || {
        echo "run-bench: no run began after pressing the button" >&2
        bexlo_end_program "$prefix"
        return 1
    }
    for ((i = 0; i < 6000; i++)); do
        if box_shown Information; then
            shown=$(seconds_since "$start")
            break
        fi
        box_shown "Copy Fail" && break
        sleep 0.02
    done
    bexlo_end_program "$prefix"
    # The backup copies, not the program's own files beside them.
    local backed
    backed=$(find "$disks/e/FilesBackup" -path "*/Bexlo versions" -prune -o -type f -print | wc -l)
    if [ -z "$shown" ] || [ "$backed" != 5000 ]; then
        echo "run-bench: the run did not end in \"Copy complete!\" with every file copied" >&2
        return 1
    fi
    runs+=("$shown")
}

time_xcopy() {
    rm -rf "$disks/e/xcopy"
    local start
    start=$(bexlo_now)
    WINEPREFIX="$prefix" wine xcopy /E /I /Q /Y 'C:\bench-source\small' 'E:\xcopy' >/dev/null 2>&1
    copies+=("$(seconds_since "$start")")
}

runs=()
copies=()
for ((round = 0; round < rounds; round++)); do
    # Each goes first in turn: the second copy of a round finds the disk's caches warmer.
    if ((round % 2 == 0)); then
        time_program || exit 1
        time_xcopy
    else
        time_xcopy
        time_program || exit 1
    fi
    echo "round $((round + 1)): press to \"Copy complete!\" ${runs[-1]} s, xcopy ${copies[-1]} s"
done
run=$(bexlo_median "${runs[@]}")
copy=$(bexlo_median "${copies[@]}")
echo "press to \"Copy complete!\", 5,000 files of 4 KiB in 50 folders, Copy mode: $run s," \
    "xcopy $copy s (medians of $rounds); run / xcopy = $(awk -v a="$run" -v b="$copy" \
    'BEGIN { printf "%.2f", a / b }') (goal: at most 1.0)"
