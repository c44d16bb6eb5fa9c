#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test under Wine.
# Exit status 0 only when all tests pass.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/install-deps.sh

build="${VF_BUILD_DIR:-build}"
vf_install_deps
vf_configure_and_build "$build"

trap 'vf_wine_stop; vf_xvfb_stop' EXIT
vf_xvfb_start
vf_wine_start "$PWD/$build/wineprefix"
# Tests that name no time-out of their own get one, so that no hang outlives its minutes.
ctest --test-dir "$build" --output-on-failure --timeout 300 -j "$(nproc)" "$@"
