#!/usr/bin/env bash
# Runs the README's run command without a display, which plays a whole backup (it fails when the
# backup differs from the sources), and checks its pictures: the dialog a window of the dialog's
# size, neither blank nor of one colour; the progress and the end pictures taken.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
crop="$BEXLO_BUILD_DIR/artifacts/run-main-dialog-dialog.png"
progress="$BEXLO_BUILD_DIR/artifacts/run-progress.png"
complete="$BEXLO_BUILD_DIR/artifacts/run-complete.png"
rm -f "$crop" "$progress" "$complete"
env -u DISPLAY "$root/scripts/run.sh" || exit 1
if [ ! -f "$crop" ]; then
    echo "screenshot: the dialog was not on the screen"
    exit 1
fi
size=$(identify -format '%w %h' "$crop")
read -r width height <<<"$size"
deviation=$(convert "$crop" -colorspace gray -format '%[fx:standard_deviation]' info:)
colours=$(convert "$crop" -format '%k' info:)
echo "screenshot: $crop, ${width}x${height}, deviation $deviation, $colours colours"
if [ "$width" -lt 400 ] || [ "$height" -lt 300 ]; then
    echo "screenshot: the window is not the dialog"
    exit 1
fi
awk -v d="$deviation" -v c="$colours" 'BEGIN { exit !(d > 0.05 && c > 50) }' || {
    echo "screenshot: the dialog looks blank"
    exit 1
}
for picture in "$progress" "$complete"; do
    if [ ! -f "$picture" ]; then
        echo "screenshot: $picture was not taken"
        exit 1
    fi
done
