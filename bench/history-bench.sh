#!/usr/bin/env bash
# Prints what getting files back costs: reading a backup of 50,000 files in 500 folders with 200
# press folders as the restore window opens, switching its moment, and restoring 5,000 files of
# 4 KiB into an empty folder next to the first Copy press of the same files.
# Measures only; fails only when it cannot run.
set -u
root_dir=$(cd "$(dirname "$0")/.." && pwd)
source "$root_dir/scripts/lib/common.sh"
build=$BEXLO_BUILD_DIR
bench="$build/bench-history"
trap 'rm -rf "$bench"' EXIT

rm -rf "$bench"
bexlo_make_small_files "$bench/Work" || exit 1
bexlo_make_small_files "$bench/big/Work" 500 1024 || exit 1
# 200 presses a day apart, each replacing 250 of the 50,000 files, their indexes complete.
python3 - "$bench/big" "$(bexlo_windows_path "$bench/big")" <<'PY' || exit 1
import os, sys, time
root, windows = sys.argv[1], sys.argv[2]
now = int((time.time() + 11644473600) * 10**7)
day = 24 * 3600 * 10**7
for press in range(200):
    when = now - (200 - press) * day
    folder = os.path.join(root, "Bexlo versions", "press %03d" % press)
    lines = ["Bexlo versions index 1"]
    for k in range(250):
        number = press * 250 + k
        name = "folder%03d\\file%03d.dat" % (number // 100, number % 100)
        stored = os.path.join(folder, "Work", *name.split("\\"))
        os.makedirs(os.path.dirname(stored), exist_ok=True)
        with open(stored, "wb") as out:
            out.write(b"v" * 16)
        lines.append("backup\tchanged\t%d\t16\t%d\tWork\\%s\t%s\\Work\\%s"
                     % (when, when - day, name, windows, name))
    lines.append("end")
    with open(os.path.join(folder, "_Bexlo index.txt"), "wb") as out:
        out.write(b"\xff\xfe" + ("\r\n".join(lines) + "\r\n").encode("utf-16-le"))
PY
sync

output=$(BEXLO_BENCH_ROOT=$(bexlo_windows_path "$bench") BEXLO_TEST_TIMEOUT=1200 \
    "$root_dir/scripts/wine-test.sh" "$build/bin/bexlo_win_bench.exe" \
    --gtest_filter='HistoryBenchmark*' 2>&1)
status=$?
echo "$output" | grep -v '^bench '
[ $status -eq 0 ] || exit 1
declare -A value
while read -r _ name figure; do
    value[$name]=$figure
done < <(echo "$output" | grep '^bench ')

met() { awk -v a="$1" -v b="$2" 'BEGIN { print (a <= b ? "met" : "MISSED") }'; }
echo "a backup of ${value[history-files]%.*} files with ${value[history-moments]%.*} moments:"
echo "  read to its first level in ${value[history-open]} s (goal < 1): $(met "${value[history-open]}" 1)"
echo "  moment switched in ${value[history-switch]} s (goal < 0.5): $(met "${value[history-switch]}" 0.5)"
ratio=${value[history-restore-ratio]}
echo "restoring 5,000 files of 4 KiB: ${value[history-restore]} s, the first Copy press of them" \
    "${value[history-first-press]} s (medians of 5 rounds); restore / press, the median of each" \
    "round's = $ratio (goal <= 1): $(met "$ratio" 1)"
