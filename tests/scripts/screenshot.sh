#!/usr/bin/env bash
# Starts the program on the simulated enclosure, photographs the screen and checks that the
# picture shows the dialog: a window of the dialog's size, neither blank nor of one colour.
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
program=$1
png=$2
prefix="$BEXLO_BUILD_DIR/wine/run-prefix"

bexlo_ensure_display || exit 1
bexlo_wine_prefix "$prefix"
rm -rf "$prefix/drive_c/Program Files/Travenor"
bexlo_start_and_shoot "$prefix" "$png" "$program" /simulate >/dev/null
geometry=$(xwininfo -name Bexlo 2>/dev/null)
bexlo_end_program "$prefix"
bexlo_wineserver_stop "$prefix"
bexlo_stop_display

width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
if [ -z "$width" ] || [ "$width" -lt 400 ] || [ "$height" -lt 300 ]; then
    echo "screenshot: no dialog window found (${width:-?} x ${height:-?})"
    exit 1
fi
crop="${png%.png}-dialog.png"
convert "$png" -crop "${width}x${height}+${x}+${y}" +repage "$crop"
deviation=$(convert "$crop" -colorspace gray -format '%[fx:standard_deviation]' info:)
colours=$(convert "$crop" -format '%k' info:)
echo "screenshot: $png, dialog ${width}x${height}, deviation $deviation, $colours colours"
awk -v d="$deviation" -v c="$colours" 'BEGIN { exit !(d > 0.05 && c > 50) }' || {
    echo "screenshot: the dialog looks blank"
    exit 1
}
