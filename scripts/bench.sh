#!/usr/bin/env bash
# Benchmarks under Wine, printing the CPU time and peak memory of each step. They measure; they
# do not pass or fail on a figure.
#   scripts/bench.sh [simdisk_bench options: --files N --clusters N --reads N --seed S]
# The simulated disk: the life of an image (built, saved, loaded and checked) at 100,000,
# 300,000 and 1,000,000 files, one line each, each in a process of its own so that its peak
# memory is its own; then a volume of 1,000,000 files and 100,000,000 clusters read as the
# engine reads it: its whole bitmap, every MFT record through file-record requests, and
# 100,000 retrieval-pointer reads.
# The volume object (engine_bench, "BENCH <kind> key=value" lines): bitmap bytes read by
# free-run searches on a volume of 67,108,864 clusters that end early, late and never, and the
# time and memory of reading the extents of a file of 100,000 fragments.
# The transport: 1000 connect, send and disconnect cycles of pipe clients of every kind from
# two threads against the service's two pipe pairs.
# The analysis, one BENCH line per run: an NTFS volume of 1,000,000 files and 64,000,000
# clusters (100,000 directories up to 12 deep, 15 % of the files fragmented, an MFT in 24
# pieces, a boot layout list of 3,000 files) walked through its MFT, the same with four times
# the files, and a FAT32 volume of 500,000 files walked through its directories; each followed
# by the cluster-range report of 1 % of the volume and of all of it and the file-cluster report,
# with the time they hold their caller. The idle guard is off and there is no step delay.
# VF_BENCH_NTFS_FILES lists the NTFS sizes (default "1000000 4000000").
# The service: the round trip of request 101 and the delay of the volume broadcasts while a
# defragmentation of a simulated volume of 20,000 files runs.
# The defragmentation run, one BENCH line per run in a process of its own: each method (quick,
# complete, smartm) on an NTFS volume of N files and 64 clusters a file, 15 % of the files
# fragmented, and on the same layout with 4N files; idle guard off, no step delay. One file in
# ten was written within the last day; one more Smart/M line at N files has every file recent,
# the layout on which Smart/M moves nearly every file behind the used part.
# VF_BENCH_DEFRAG_FILES lists the sizes (default "25000 100000").
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/install-deps.sh

build="${VF_BUILD_DIR:-build}"
vf_install_deps
vf_configure_and_build "$build" simdisk_bench engine_bench analysis_bench transport_bench service_bench defrag_bench

# A prefix of its own, so that a benchmark never disturbs a test run in the same build.
vf_wine_start "$PWD/$build/wineprefix-bench"
trap vf_wine_stop EXIT
echo "simulated disk:"
for files in 100000 300000 1000000; do
    wine "$build/simdisk/simdisk_bench.exe" --image --files "$files" --clusters $((files * 100))
done
wine "$build/simdisk/simdisk_bench.exe" "$@"
echo "volume object:"
wine "$build/engine/engine_bench.exe"
echo "transport:"
wine "$build/tests/transport/transport_bench.exe"
echo "analysis:"
for files in ${VF_BENCH_NTFS_FILES:-1000000 4000000}; do
    wine "$build/engine/analysis_bench.exe" ntfs --files "$files" --clusters $((files * 64)) --layout 3000
done
wine "$build/engine/analysis_bench.exe" fat32 --files 500000
echo "service:"
wine "$build/tests/service/service_bench.exe"
echo "defragmentation:"
defrag_sizes="${VF_BENCH_DEFRAG_FILES:-25000 100000}"
for files in $defrag_sizes; do
    for method in quick complete smartm; do
        wine "$build/engine/defrag_bench.exe" --files "$files" --method "$method"
    done
done
wine "$build/engine/defrag_bench.exe" --files "${defrag_sizes%% *}" --method smartm --recent 100
