#!/usr/bin/env bash
# Builds the portable sources natively with the sanitizers and runs their
# table tests and the fuzz runs.  run.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src="$1"
build="$2"
if [ ! -f "$build/build.ninja" ]; then
    # The cross build's toolchain must not leak in: this one is for this machine.
    env -u CC -u CXX cmake -S "$src/tests/native" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
cmake --build "$build" -- --quiet -j2
"$build/native_tests" --gtest_brief=1
"$build/xml_fuzz" 100000
"$build/map_fuzz" 20000
