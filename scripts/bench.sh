#!/usr/bin/env bash
# Benchmarks under Wine, printing the CPU time and peak memory of each step. They measure; they
# do not pass or fail on a figure.
#   scripts/bench.sh [simdisk_bench options: --files N --clusters N --reads N --seed S]
# The simulated disk: building a volume of 1,000,000 files and 100,000,000 clusters, reading
# its whole bitmap, every MFT record through file-record requests, and 100,000 retrieval-
# pointer reads.
# The analysis, one BENCH line per run: an NTFS volume of 1,000,000 files and 64,000,000
# clusters (100,000 directories up to 12 deep, 15 % of the files fragmented, an MFT in 24
# pieces, a boot layout list of 3,000 files) walked through its MFT, the same with four times
# the files, and a FAT32 volume of 500,000 files walked through its directories; each followed
# by the cluster-range report of 1 % of the volume and of all of it and the file-cluster report,
# with the time they hold their caller. The idle guard is off and there is no step delay.
# VF_BENCH_NTFS_FILES lists the NTFS sizes (default "1000000 4000000").
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/install-deps.sh

build="${VF_BUILD_DIR:-build}"
vf_install_deps
vf_configure_and_build "$build" simdisk_bench analysis_bench

# A prefix of its own, so that a benchmark never disturbs a test run in the same build.
vf_wine_start "$PWD/$build/wineprefix-bench"
trap vf_wine_stop EXIT
echo "simulated disk:"
wine "$build/simdisk/simdisk_bench.exe" "$@"
echo "analysis:"
for files in ${VF_BENCH_NTFS_FILES:-1000000 4000000}; do
    wine "$build/engine/analysis_bench.exe" ntfs --files "$files" --clusters $((files * 64)) --layout 3000
done
wine "$build/engine/analysis_bench.exe" fat32 --files 500000
