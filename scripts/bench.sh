#!/usr/bin/env bash
# Builds the Windows x64 build and runs the benchmarks under Wine on a private X display, printing
# their figures: bench.tree, bench.copy, bench.versions, bench.history and bench.idle. They assert
# nothing; the exit status says only whether they could run.
set -u
cd "$(dirname "$0")/.."
source scripts/lib/common.sh
bexlo_windows_x64_on_private_display || exit 1

echo "== benchmarks (Wine, DISPLAY=$DISPLAY)"
ctest --preset bench
