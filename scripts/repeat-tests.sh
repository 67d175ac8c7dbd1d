#!/usr/bin/env bash
# Runs the Windows test suite N times (default 10) on one windows-x64 build, on a private X
# display, and says how many rounds passed and which tests failed in which round. Exits non-zero
# unless every round passed.
set -u
cd "$(dirname "$0")/.."
source scripts/lib/common.sh
rounds=${1:-10}
case $rounds in
    '' | *[!0-9]* | 0)
        echo "usage: $0 [rounds]" >&2
        exit 2
        ;;
esac
bexlo_windows_x64_on_private_display || exit 1

logs=build/windows-x64/repeat-tests
rm -rf "$logs"
mkdir -p "$logs"
passed=0
failures=()
for round in $(seq 1 "$rounds"); do
    echo "== round $round of $rounds (DISPLAY=$DISPLAY)"
    log="$logs/round-$round.log"
    if ctest --preset windows-x64 >"$log" 2>&1; then
        passed=$((passed + 1))
        echo "   passed ($(grep -E '^Total Test time' "$log"))"
    else
        # ctest's summary lists each failed test as "<number> - <name> (<reason>)".
        failed=$(sed -n '/tests FAILED:/,$p' "$log" | sed -n 's/^[[:space:]]*[0-9]* - //p' |
            tr '\n' ' ')
        [ -n "$failed" ] || failed="(no summary; see $log)"
        failures+=("round $round: $failed")
        echo "   FAILED: $failed"
    fi
done

echo "== $passed of $rounds rounds passed; logs in $logs"
for failure in "${failures[@]}"; do
    echo "   $failure"
done
[ "$passed" = "$rounds" ]
