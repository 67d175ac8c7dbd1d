#!/usr/bin/env bash
# Runs one Windows test program under Wine; ctest calls it as the cross-compiling emulator.
#
# The build tree's prefix (build/<preset>/wine/prefix) is made once and kept, with a wineserver
# kept running. What a test may ask for, through its environment:
#   BEXLO_CLEAN_DATA=1       the program's data folder is removed before the run
#   BEXLO_DRIVES="e:hd:1234ABCD f:floppy:0BADF00D"
#                            extra drive letters, each mapped to a fresh empty folder with that
#                            volume serial and drive type (hd, floppy for removable, cdrom, network); the
#                            test then gets a prefix of its own, since a running wineserver does
#                            not see new drive letters
#   BEXLO_LOG_PIXELS=144     the display scale in dots per inch (96 is 100 %): the test gets a
#                            prefix of that scale, made from the build tree's once and kept
#   BEXLO_FRESH_PREFIX=1     the test gets a new prefix of its own, made for this run, that no
#                            other test has touched (an installer test starts from nothing);
#                            =plain makes it without the virtual desktop, as a person's Wine is
#   BEXLO_NO_DESKTOP=1       the test's windows stand straight on the display, as scripts/run.sh
#                            shows the program, not in a desktop window: with no window manager,
#                            Wine then keeps a hidden window on the screen for two seconds
#   BEXLO_TEST_NAME          names the private prefix and drive folders
#   BEXLO_TEST_TIMEOUT       seconds before the program is killed (default 240)
#   BEXLO_KEEP_PREFIX=1      a private prefix and its drive folders are kept after the run, to
#                            look into; otherwise they go, since thirty of them fill a small disk
set -u
source "$(dirname "$0")/lib/common.sh"

program=$1
shift
build=${BEXLO_BUILD_DIR:-$(cd "$(dirname "$program")/.." && pwd)}
base="$build/wine/prefix"

bexlo_ensure_display || exit 1
# A display of our own dies with this script, and the prefix's desktop process with it.
cleanup() {
    if [ -n "${BEXLO_XVFB_PID:-}" ]; then
        bexlo_wineserver_stop "$base"
        bexlo_stop_display
    fi
}
trap cleanup EXIT
bexlo_wine_prefix "$base" desktop

prefix=$base
drives=
if [ -n "${BEXLO_DRIVES:-}" ]; then
    name=${BEXLO_TEST_NAME:-drives}
    prefix="$build/wine/prefix-$name"
    drives="$build/wine/drives-$name"
    bexlo_wineserver_stop "$prefix"
    rm -rf "$prefix" "$drives"
    cp -a "$base" "$prefix"
    bexlo_map_drives "$prefix" "$drives" $BEXLO_DRIVES
    export BEXLO_DRIVE_ROOT="$drives"
fi

if [ -n "${BEXLO_LOG_PIXELS:-}" ] && [ "$BEXLO_LOG_PIXELS" != 96 ]; then
    prefix="$build/wine/prefix-dpi$BEXLO_LOG_PIXELS"
    mark="$BEXLO_LOG_PIXELS $(cat "$base/.bexlo-ready")"
    if [ "$(cat "$prefix/.bexlo-scale" 2>/dev/null)" != "$mark" ]; then
        bexlo_wineserver_stop "$prefix"
        rm -rf "$prefix"
        cp -a "$base" "$prefix"
        bexlo_set_log_pixels "$prefix" "$BEXLO_LOG_PIXELS"
        echo "$mark" >"$prefix/.bexlo-scale"
    fi
fi

if [ "${BEXLO_FRESH_PREFIX:-0}" != 0 ]; then
    prefix="$build/wine/prefix-${BEXLO_TEST_NAME:-fresh}"
    bexlo_wineserver_stop "$prefix"
    rm -rf "$prefix"
    if [ "$BEXLO_FRESH_PREFIX" = plain ]; then
        bexlo_wine_prefix "$prefix"
    else
        bexlo_wine_prefix "$prefix" desktop
    fi
fi

if [ "${BEXLO_NO_DESKTOP:-0}" = 1 ]; then
    if [ "$prefix" = "$base" ]; then
        prefix="$build/wine/prefix-${BEXLO_TEST_NAME:-no-desktop}"
        bexlo_wineserver_stop "$prefix"
        rm -rf "$prefix"
        cp -a "$base" "$prefix"
    fi
    WINEPREFIX="$prefix" wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1
    WINEPREFIX="$prefix" wineserver -w
fi

if [ "${BEXLO_CLEAN_DATA:-0}" = 1 ]; then
    rm -rf "$prefix/drive_c/Program Files/Travenor"
fi

export WINEPREFIX=$prefix
bexlo_wineserver_persist "$prefix"
# The prefix's services and desktop, started by the first program, inherit its output: through
# a file, they cannot keep ctest waiting for the end of a pipe.
log=$(mktemp)
run() {
    timeout -k 10 "${BEXLO_TEST_TIMEOUT:-240}" wine "$program" "$@" >"$log" 2>&1
}
run "$@"
status=$?
# Every test program prints its plan before its first test; one that ended without a word never
# reached it. Wine on a fresh machine has refused such a start once, right after the prefix's first
# program. That start is made once more; a program that cannot start at all still fails.
if [ "$status" != 0 ] && [ "$status" != 124 ] && [ ! -s "$log" ]; then
    echo "wine-test: $(basename "$program") ended with status $status before its first line;" \
        "starting it once more" >&2
    run "$@"
    status=$?
fi
cat "$log"
rm -f "$log"
[ "$status" = 124 ] && echo "wine-test: $(basename "$program") timed out" >&2
if [ "$prefix" != "$base" ]; then
    bexlo_wineserver_stop "$prefix"
    # A scale's prefix serves every later run at that scale; one made for this run serves none.
    case $prefix in
    "$build"/wine/prefix-dpi*) ;;
    *) [ "${BEXLO_KEEP_PREFIX:-0}" = 1 ] || rm -rf "$prefix" ${drives:+"$drives"} ;;
    esac
fi
exit "$status"
