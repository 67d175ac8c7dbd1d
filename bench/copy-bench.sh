#!/usr/bin/env bash
# Prints how fast a Copy-mode backup runs through the walkers, next to Wine's xcopy and this
# machine's cp -r, on one disk: 5,000 files of 4 KiB in 50 folders, and two files of 512 MiB; how
# long the Copy of the small tree takes again over its own copies; and how long a Synchronize of the
# unchanged tree takes. Measures only; fails only when it cannot run.
set -u
root_dir=$(cd "$(dirname "$0")/.." && pwd)
source "$root_dir/scripts/lib/common.sh"
build=$BEXLO_BUILD_DIR
bench="$build/bench-copy"
large_mib=${BEXLO_BENCH_LARGE_MIB:-512}
trap 'rm -rf "$bench"' EXIT

rm -rf "$bench"
mkdir -p "$bench/large"
bexlo_make_small_files "$bench/small" || exit 1
for i in 1 2; do
    head -c $((large_mib * 1048576)) /dev/urandom >"$bench/large/big$i.bin" || exit 1
done
sync

# The best of a few rounds, as for the walkers: the machine's other work only ever adds time.
declare -A seconds
for tree in small large; do
    rounds=3
    [ $tree = large ] && rounds=2
    for ((round = 0; round < rounds; round++)); do
        rm -rf "$bench/cp-$tree"
        start=$(date +%s.%N)
        cp -r "$bench/$tree" "$bench/cp-$tree" || exit 1
        took=$(awk -v a="$(date +%s.%N)" -v b="$start" 'BEGIN { printf "%.3f", a - b }')
        if [ $round -eq 0 ] || awk -v a="$took" -v b="${seconds[cp-$tree]}" 'BEGIN { exit !(a < b) }'; then
            seconds[cp-$tree]=$took
        fi
    done
    rm -rf "$bench/cp-$tree"
done

output=$(BEXLO_BENCH_ROOT=$(bexlo_windows_path "$bench") BEXLO_TEST_TIMEOUT=1200 \
    "$root_dir/scripts/wine-test.sh" "$build/bin/bexlo_win_bench.exe" \
    --gtest_filter='CopyBenchmark*' 2>&1)
status=$?
echo "$output" | grep -v '^bench '
[ $status -eq 0 ] || exit 1
while read -r _ name value; do
    seconds[$name]=$value
done < <(echo "$output" | grep '^bench ')

mib=$((2 * large_mib))
echo "copy of 5,000 files of 4 KiB in 50 folders:"
echo "  walkers ${seconds[walker-copy-small]} s, xcopy ${seconds[xcopy-small]} s," \
    "cp -r ${seconds[cp-small]} s; walkers / xcopy = $(bexlo_ratio "${seconds[walker-copy-small]}" "${seconds[xcopy-small]}") (goal <= 1)"
echo "  the same Copy again, over the first one's files: ${seconds[walker-recopy-small]} s," \
    "$(bexlo_ratio "${seconds[walker-recopy-small]}" "${seconds[walker-copy-small]}") of the first"
echo "copy of two files of $large_mib MiB:"
echo "  walkers ${seconds[walker-copy-large]} s ($(bexlo_ratio $mib "${seconds[walker-copy-large]}") MiB/s)," \
    "xcopy ${seconds[xcopy-large]} s, cp -r ${seconds[cp-large]} s ($(bexlo_ratio $mib "${seconds[cp-large]}") MiB/s);" \
    "walker throughput / cp -r = $(bexlo_ratio "${seconds[cp-large]}" "${seconds[walker-copy-large]}") (goal >= 0.8)"
for tree in small large; do
    echo "synchronize of the unchanged $tree tree: ${seconds[walker-sync-$tree]} s," \
        "$(bexlo_ratio "${seconds[walker-sync-$tree]}" "${seconds[walker-copy-$tree]}") of its copy (goal <= 0.5)"
done
