#!/usr/bin/env bash
# Prints what the idle program costs while it polls three simulated enclosures: CPU time over
# a minute and its memory. Measures only; fails only when the program cannot be run.
set -u
source "$(dirname "$0")/../scripts/lib/common.sh"
build=$BEXLO_BUILD_DIR
seconds=${BEXLO_BENCH_SECONDS:-60}
prefix="$build/wine/bench-prefix"
sim="$build/bench-sim"

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

bexlo_start_and_shoot "$prefix" "$build/artifacts/bench-idle.png" "$build/bin/Bexlo.exe" \
    "/simulate=$(bexlo_windows_path "$sim")"
pid=$(pgrep -n -f 'Bexlo.exe')
if [ -z "$pid" ]; then
    echo "idle-bench: the program did not start"
    exit 1
fi
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
start=$(ticks)
sleep "$seconds"
end=$(ticks)
rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
private=$(awk '/^(Private_Clean|Private_Dirty):/ {sum += $2} END {print sum}' "/proc/$pid/smaps_rollup")
awk -v used="$((end - start))" -v hz="$hz" -v s="$seconds" -v rss="$rss" -v priv="$private" 'BEGIN {
    printf "idle with three enclosures: %.2f s CPU in %d s = %.3f %% of one core\n", used / hz, s, 100 * used / hz / s
    printf "memory: %.1f MB resident, %.1f MB private\n", rss / 1024, priv / 1024
}'
