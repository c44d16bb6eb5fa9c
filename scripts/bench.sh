#!/usr/bin/env bash
# Benchmarks under Wine, printing the CPU time and peak memory of each step. They measure; they
# do not pass or fail on a figure.
#   scripts/bench.sh [simdisk_bench options: --files N --clusters N --reads N --seed S]
# The simulated disk: building a volume of 1,000,000 files and 100,000,000 clusters, reading
# its whole bitmap, every MFT record through file-record requests, and 100,000 retrieval-
# pointer reads. The transport: 1000 connect, send and disconnect cycles of pipe clients of every
# kind from two threads against the service's two pipe pairs.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/install-deps.sh

build="${VF_BUILD_DIR:-build}"
vf_install_deps
vf_configure_and_build "$build" simdisk_bench transport_bench

# A prefix of its own, so that a benchmark never disturbs a test run in the same build.
vf_wine_start "$PWD/$build/wineprefix-bench"
trap vf_wine_stop EXIT
echo "simulated disk:"
wine "$build/simdisk/simdisk_bench.exe" "$@"
echo "transport:"
wine "$build/tests/transport/transport_bench.exe"
