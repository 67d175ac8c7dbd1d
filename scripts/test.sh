#!/usr/bin/env bash
# Builds every configuration and runs every test: the host tests, the fuzz targets of the file
# readers, the Windows tests under Wine on a private X display (the x64 installer among them),
# then the check of the x86 installer's contents. Exits non-zero when anything fails.
set -u
cd "$(dirname "$0")/.."
source scripts/lib/common.sh
scripts/bootstrap.sh || exit 1

status=0
for preset in host fuzz windows-x64 windows-x86; do
    echo "== build $preset"
    cmake --preset "$preset" >/dev/null || exit 1
    cmake --build --preset "$preset" || exit 1
done

cleanup() {
    bexlo_wineserver_stop build/windows-x64/wine/*prefix*/
    bexlo_stop_display
}
trap cleanup EXIT
bexlo_ensure_display || exit 1

echo "== test host"
ctest --preset host || status=1
echo "== fuzz the file readers (about 20 s each)"
ctest --preset fuzz || status=1
echo "== test windows-x64 (Wine, DISPLAY=$DISPLAY)"
ctest --preset windows-x64 || status=1
echo "== test windows-x86 (the installer's contents; 32-bit programs do not run here)"
ctest --preset windows-x86 || status=1
exit $status
