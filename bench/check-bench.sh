#!/usr/bin/env bash
# Prints what the check that reads the backup back costs against the disk's own pace: 1 GiB in
# 256 files of 4 MiB read back and hashed by the check under Wine, and the same files read by
# `dd iflag=direct` to /dev/null in the same run. Measures only; fails only when it cannot run.
set -u
root_dir=$(cd "$(dirname "$0")/.." && pwd)
source "$root_dir/scripts/lib/common.sh"
build=$BEXLO_BUILD_DIR
bench="$build/bench-check"
trap 'rm -rf "$bench"' EXIT

rm -rf "$bench"
python3 - "$bench/FilesBackup/Work" <<'PY' || exit 1
import os, sys
os.makedirs(sys.argv[1])
for n in range(256):
    with open(os.path.join(sys.argv[1], "f%03d.bin" % n), "wb") as out:
        out.write(os.urandom(4 << 20))
PY
sync

start=$(date +%s.%N)
for file in "$bench"/FilesBackup/Work/*.bin; do
    dd if="$file" of=/dev/null bs=1M iflag=direct status=none || exit 1
done
dd_seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }')

# Wine may read through the system's cache whatever the flags: the files leave the cache first, as
# they would be on an enclosure just attached.
python3 - "$bench/FilesBackup/Work" <<'PY' || exit 1
import os, sys
for name in os.listdir(sys.argv[1]):
    fd = os.open(os.path.join(sys.argv[1], name), os.O_RDONLY)
    os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
    os.close(fd)
PY

output=$(BEXLO_BENCH_ROOT=$(bexlo_windows_path "$bench") BEXLO_TEST_TIMEOUT=1200 \
    "$root_dir/scripts/wine-test.sh" "$build/bin/bexlo_win_bench.exe" \
    --gtest_filter='CheckBenchmark*' 2>&1)
status=$?
echo "$output" | grep -v '^bench '
[ $status -eq 0 ] || exit 1
declare -A value
while read -r _ name figure; do
    value[$name]=$figure
done < <(echo "$output" | grep '^bench ')

echo "reading back 1 GiB in 256 files: the check ${value[check-seconds]} s" \
    "(${value[check-bytes]%.*} bytes), dd iflag=direct ${dd_seconds} s;" \
    "check / dd = $(bexlo_ratio "${value[check-seconds]}" "$dd_seconds") (goal <= 1.2)"
