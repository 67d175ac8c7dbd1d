#!/usr/bin/env bash
# Builds the Windows x64 build and runs the benchmarks under Wine on a private X display, printing
# their figures: bench.tree, bench.copy and bench.idle. They assert nothing; the exit status says
# only whether they could run.
set -u
cd "$(dirname "$0")/.."
source scripts/lib/common.sh
scripts/bootstrap.sh || exit 1
echo "== build windows-x64"
cmake --preset windows-x64 >/dev/null || exit 1
cmake --build --preset windows-x64 || exit 1

cleanup() {
    bexlo_wineserver_stop build/windows-x64/wine/*prefix*/
    bexlo_stop_display
}
trap cleanup EXIT
unset DISPLAY
bexlo_ensure_display || exit 1

echo "== benchmarks (Wine, DISPLAY=$DISPLAY)"
ctest --preset bench
