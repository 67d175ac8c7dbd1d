#!/usr/bin/env bash
# Prints what the idle program costs while it polls three simulated enclosures, beside the goals:
# CPU time over a minute and its memory, then its memory again once its trees have been opened
# and closed. Measures only; fails only when the program cannot be run.
set -u
source "$(dirname "$0")/../scripts/lib/common.sh"
build=$BEXLO_BUILD_DIR
seconds=${BEXLO_BENCH_SECONDS:-60}
prefix="$build/wine/bench-prefix"
# The program takes simulated enclosures only from its own "sim" folder or one in it.
sim="$build/bin/sim/idle-bench"

bexlo_ensure_display || exit 1
cleanup() {
    bexlo_end_program "$prefix"
    bexlo_wineserver_stop "$prefix"
    bexlo_stop_display
}
trap cleanup EXIT

rm -rf "$sim"
mkdir -p "$sim"
cp "$build"/bin/sim/*.dll "$sim/"
cat >"$sim/enclosures.txt" <<'STATE'
enclosure family=1 letters=E signature=0x0E0E0E0E offsets=32256 serial=0x0000000E key=present attached=yes presses=0 physical=1
enclosure family=3 letters=F signature=0x0F0F0F0F offsets=1048576 serial=0x0000000F key=present attached=yes presses=0 physical=2
enclosure family=5 letters=G signature=0x10101010 offsets=1048576 serial=0x00000010 key=present attached=yes presses=0 physical=3
STATE
bexlo_wine_prefix "$prefix"
bexlo_wineserver_stop "$prefix"
bexlo_map_drives "$prefix" "$build/bench-disks" e:hd:0000000E f:hd:0000000F g:hd:00000010
# Something for the trees to show on each enclosure: 100 folders of 20 subfolders.
for disk in e f g; do
    for ((i = 0; i < 100; i++)); do
        mkdir -p "$build/bench-disks/$disk/folder$i/"sub{0..19}
    done
done

bexlo_start_and_shoot "$prefix" "$build/artifacts/bench-idle.png" "$build/bin/Bexlo.exe" \
    "/simulate=$(bexlo_windows_path "$sim")"
# The program's own process: the one of those named so that holds the most memory.
pid=$(pgrep -f 'Bexlo.exe' | while read -r candidate; do
    echo "$(awk '/VmRSS/ {print $2}' "/proc/$candidate/status" 2>/dev/null || echo 0) $candidate"
done | sort -n | tail -n 1 | cut -d ' ' -f 2)
if [ -z "$pid" ]; then
    echo "idle-bench: the program did not start"
    exit 1
fi
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
start=$(ticks)
sleep "$seconds"
end=$(ticks)
memory() {
    local rss private
    rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
    private=$(awk '/^(Private_Clean|Private_Dirty):/ {sum += $2} END {print sum}' \
        "/proc/$pid/smaps_rollup")
    awk -v rss="$rss" -v priv="$private" -v when="$1" 'BEGIN {
        printf "memory %s: %.1f MB private (goal: under 15 MB), %.1f MB resident\n", when, priv / 1024, rss / 1024
    }'
}
awk -v used="$((end - start))" -v hz="$hz" -v s="$seconds" 'BEGIN {
    printf "idle with three enclosures: %.2f s CPU in %d s = %.3f %% of one core (goal: under 0.5 %%)\n", used / hz, s, 100 * used / hz / s
}'
memory "after $seconds s with three enclosures"
WINEPREFIX="$prefix" wine "$build/bin/bexlo_tree_exercise.exe" >/dev/null 2>&1 ||
    echo "idle-bench: the trees could not be opened"
memory "after the trees were opened four levels deep and closed"
