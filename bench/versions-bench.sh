#!/usr/bin/env bash
# Prints what keeping earlier versions costs: a Copy press that replaces 1,000 of 5,000 files of
# 4 KiB, with versions kept and without, and the thinning of a versions folder of 50,000 files
# made by 100 presses a week apart, and of 50,000 made a day apart, which thinning halves.
# Measures only; fails only when it cannot run.
set -u
root_dir=$(cd "$(dirname "$0")/.." && pwd)
source "$root_dir/scripts/lib/common.sh"
build=$BEXLO_BUILD_DIR
bench="$build/bench-versions"
trap 'rm -rf "$bench"' EXIT

rm -rf "$bench"
python3 - "$bench" <<'PY' || exit 1
import os, sys, time
root = sys.argv[1]
for folder in range(50):
    path = os.path.join(root, "Work", "folder%02d" % folder)
    os.makedirs(path)
    for number in range(100):
        with open(os.path.join(path, "file%03d.dat" % number), "wb") as out:
            out.write(os.urandom(4096))
# 100 presses hold 500 files each: a week apart, 10,000 files in five versions that thinning
# keeps; a day apart, 500 files in 100 versions of which thinning removes more than half.
now = int((time.time() + 11644473600) * 10**7)
day = 24 * 3600 * 10**7
for tree, days, files in (("thin", 7, 10000), ("thin-daily", 1, 500)):
    versions = os.path.join(root, tree, "Bexlo versions")
    for press in range(100):
        when = now - (100 - press) * days * day
        folder = os.path.join(versions, "press %03d" % press)
        os.makedirs(os.path.join(folder, "Work"))
        lines = ["Bexlo versions index 1"]
        for k in range(500):
            name = "f%05d.dat" % ((press * 500 + k) % files)
            with open(os.path.join(folder, "Work", name), "wb") as out:
                out.write(b"v" * 16)
            lines.append("backup\tchanged\t%d\t16\t%d\tWork\\%s\tE:\\Backup\\Work\\%s"
                         % (when, when, name, name))
        lines.append("end")
        with open(os.path.join(folder, "_Bexlo index.txt"), "wb") as out:
            out.write(b"\xff\xfe" + ("\r\n".join(lines) + "\r\n").encode("utf-16-le"))
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

declare -A what=([thin]="a week apart" [thin-daily]="a day apart")
echo "a Copy press replacing 1,000 of 5,000 files of 4 KiB:"
echo "  earlier versions kept ${value[versions-press-on]} s, not kept ${value[versions-press-off]} s;" \
    "kept / not kept = $(bexlo_ratio "${value[versions-press-on]}" "${value[versions-press-off]}") (goal <= 1.1)"
for tree in thin thin-daily; do
    echo "thinning a versions folder of 50,000 files made ${what[$tree]}: ${value[versions-$tree]} s" \
        "(goal < 2), ${value[versions-$tree-left]%.*} files left"
done
