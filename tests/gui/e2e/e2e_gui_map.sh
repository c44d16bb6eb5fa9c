#!/usr/bin/env bash
# The cluster-map run: the step file drives the program on the service, then the fragmented
# colour must cover fewer of the map's pixels after the defragmentation than after the analysis
# (before the analysis the service has not told the kinds of the clusters apart).
#   e2e_gui_map.sh SOURCE_DIR BUILD_DIR PROGRAM SERVICE ARGS...
set -uo pipefail
source_dir="$1"
build_dir="$2"
program="$3"
shift 3
here="$source_dir/tests/gui/e2e"
bash "$source_dir/tests/e2e/check-gui.sh" "$source_dir" "$build_dir" "$program" "$here/e2e_gui_map.steps" "$@" ||
    exit 1
pictures="$build_dir/screenshots/e2e_gui_map"
# The fragmented colour is pure red; the pane fills the lower part of the frame's picture.
python3 "$here/map-pixels.py" FF0000 0.4 "$pictures/map-analyzed.png" "$pictures/map-after.png"
