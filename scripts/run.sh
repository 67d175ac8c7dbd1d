#!/usr/bin/env bash
# Builds Bexlo and runs it under Wine on the simulated enclosures described in
# build/windows-x64/bin/sim/enclosures.txt (one family-1 enclosure as E: unless that file says
# otherwise); each enclosure's drive letters are mapped to folders below build/windows-x64/sim-disks.
# With a display the program opens there and runs until it is ended; press the button with
# build/windows-x64/bin/sim/BexloSim.exe (its window, or "BexloSim press E"). Without a display
# it runs on a private X display: the screen is photographed once the dialog is up, the
# picture's path is printed, and the program is ended.
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
shot=$build/artifacts/run-main-dialog.png
bexlo_start_and_shoot "$prefix" "$shot" "$program" /simulate "$@" >/dev/null
echo "Bexlo is up on a private display; screenshot: $shot"
