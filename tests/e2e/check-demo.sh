#!/usr/bin/env bash
# Runs scripts/demo.sh on small volumes with the programs already built and passes only when the
# demo ended well (the service stopped cleanly, both volumes whole) and each run left its volume
# with fewer fragmented files than before.
#   check-demo.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir="$1"
build_dir="$2"

output="$(VF_BUILD_DIR="$build_dir" bash "$source_dir/scripts/demo.sh" --prebuilt --size 256M --files 1000 \
    --seed 3 2>&1)"
status=$?
echo "$output"
if [ "$status" -ne 0 ]; then
    echo "check: the demo ended with $status"
    exit 1
fi
if ! grep -q 'S: the volume is whole, T: the volume is whole' <<<"$output"; then
    echo "check: simdisk verify did not find both volumes whole"
    exit 1
fi
# The figures' row: before and after of S:, then of T:.
read -r s_before s_after t_before t_after < <(awk '/^fragmented files / { print $3, $4, $5, $6 }' <<<"$output")
for figure in "$s_before" "$s_after" "$t_before" "$t_after"; do
    if ! [[ "$figure" =~ ^[0-9]+$ ]]; then
        echo "check: no fragmented-file figures in the demo's output"
        exit 1
    fi
done
if [ "$s_after" -ge "$s_before" ] || [ "$t_after" -ge "$t_before" ]; then
    echo "check: fragmented files did not go down: S: $s_before -> $s_after, T: $t_before -> $t_after"
    exit 1
fi
echo "check: fragmented files S: $s_before -> $s_after, T: $t_before -> $t_after; both volumes whole"
