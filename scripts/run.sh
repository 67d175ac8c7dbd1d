#!/usr/bin/env bash
# Builds Bexlo and runs it under Wine on the simulated enclosure.
# With a display the program opens there and runs until it is ended. Without one it runs on a
# private X display: the screen is photographed once the dialog is up, the picture's path is
# printed, and the program is ended.
set -u
cd "$(dirname "$0")/.."
source scripts/lib/common.sh
scripts/bootstrap.sh || exit 1

cmake --preset windows-x64 >/dev/null || exit 1
cmake --build --preset windows-x64 --target Bexlo || exit 1

build=$PWD/build/windows-x64
prefix=$build/wine/run-prefix
program=$build/bin/Bexlo.exe

if [ -n "${DISPLAY:-}" ]; then
    bexlo_wine_prefix "$prefix"
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
bexlo_wine_prefix "$prefix"
shot=$build/artifacts/run-main-dialog.png
bexlo_start_and_shoot "$prefix" "$shot" "$program" /simulate "$@" >/dev/null
echo "Bexlo is up on a private display; screenshot: $shot"
