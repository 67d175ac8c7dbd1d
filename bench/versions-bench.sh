#!/usr/bin/env bash
# Prints what keeping earlier versions costs: a Copy press that replaces 1,000 of 5,000 files of
# 4 KiB, with versions kept and without, and the thinning of a versions folder of 50,000 files:
# as a press finds it the day after the last, thinned then; made by 100 presses a week apart,
# of which thinning keeps all; and made by 100 presses a day apart and never thinned, as after a
# long pause in presses, of which thinning removes more than half at once.
# Measures only; fails only when it cannot run.
set -u
root_dir=$(cd "$(dirname "$0")/.." && pwd)
source "$root_dir/scripts/lib/common.sh"
build=$BEXLO_BUILD_DIR
bench="$build/bench-versions"
trap 'rm -rf "$bench"' EXIT

rm -rf "$bench"
bexlo_make_small_files "$bench/Work" || exit 1
python3 - "$bench" <<'PY' || exit 1
import datetime, os, sys, time
root = sys.argv[1]
now = int((time.time() + 11644473600) * 10**7)
day = 24 * 3600 * 10**7

def write_press(tree, number, when, names):
    folder = os.path.join(root, tree, "Bexlo versions", "press %03d" % number)
    os.makedirs(os.path.join(folder, "Work"))
    lines = ["Bexlo versions index 1"]
    for name in names:
        with open(os.path.join(folder, "Work", name), "wb") as out:
            out.write(b"v" * 16)
        lines.append("backup\tchanged\t%d\t16\t%d\tWork\\%s\tE:\\Backup\\Work\\%s"
                     % (when, when, name, name))
    lines.append("end")
    with open(os.path.join(folder, "_Bexlo index.txt"), "wb") as out:
        out.write(b"\xff\xfe" + ("\r\n".join(lines) + "\r\n").encode("utf-16-le"))

# 100 presses hold 500 files each: a week apart, 10,000 files in five versions that thinning
# keeps; a day apart, 500 files in 100 versions of which thinning removes more than half.
for tree, days, files in (("thin", 7, 10000), ("thin-daily", 1, 500)):
    for press in range(100):
        write_press(tree, press, now - (100 - press) * days * day,
                    ["f%05d.dat" % ((press * 500 + k) % files) for k in range(500)])

# Two presses a day, at 00:30 and 23:00 UTC, for the 200 days before today, each replacing the
# same 840 files, thinned at every press: the folder holds about 60 versions of each file, and
# the thinning of today's press removes about one of each.
def month_of(day_number):
    monday = datetime.date(1970, 1, 1) + datetime.timedelta(days=day_number // 7 * 7 - 134774)
    return monday.year * 12 + monday.month

def kept(whens, at):
    seen = [set(), set(), set()]
    keep = set()
    for rank, when in enumerate(sorted(whens, reverse=True)):
        age = at - when
        periods = (when // day, when // day // 7, month_of(when // day))
        kind = 0 if age < 30 * day else 1 if age < 26 * 7 * day else 2
        if rank < 3 or age < 7 * day or periods[kind] not in seen[kind]:
            keep.add(when)
        for k in range(3):
            seen[k].add(periods[k])
    return keep

today = now // day * day
presses = [today - (200 - days) * day + hour * day // 48 for days in range(200) for hour in (1, 46)]
survivors = kept(presses, presses[-1])
for press, when in enumerate(presses):
    if when in survivors:
        write_press("thin-steady", press, when, ["f%04d.dat" % k for k in range(840)])
PY
sync

output=$(BEXLO_BENCH_ROOT=$(bexlo_windows_path "$bench") BEXLO_TEST_TIMEOUT=1200 \
    "$root_dir/scripts/wine-test.sh" "$build/bin/bexlo_win_bench.exe" \
    --gtest_filter='VersionsBenchmark*' 2>&1)
status=$?
echo "$output" | grep -v '^bench '
[ $status -eq 0 ] || exit 1
declare -A value
while read -r _ name figure; do
    value[$name]=$figure
done < <(echo "$output" | grep '^bench ')

declare -A what=([thin-steady]="as a press finds it the day after the last, thinned then"
    [thin]="by presses a week apart" [thin-daily]="by presses a day apart, never thinned")
declare -A goal=([thin-steady]="(goal < 2)" [thin]="(goal < 2)"
    [thin-daily]="(after a long pause in presses; no goal)")
echo "a Copy press replacing 1,000 of 5,000 files of 4 KiB:"
echo "  earlier versions kept ${value[versions-press-on]} s, not kept ${value[versions-press-off]} s;" \
    "kept / not kept = $(bexlo_ratio "${value[versions-press-on]}" "${value[versions-press-off]}") (goal <= 1.1)"
for tree in thin-steady thin thin-daily; do
    echo "thinning a versions folder of 50,000 files ${what[$tree]}: ${value[versions-$tree]} s" \
        "${goal[$tree]}, ${value[versions-$tree-left]%.*} files left"
done
