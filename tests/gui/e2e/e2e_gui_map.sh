#!/usr/bin/env bash
# The cluster-map run: the step file drives the program on the service, then the fragmented
# colour must cover fewer of the map's pixels after the defragmentation than after the analysis
# (before the analysis the service has not told the kinds of the clusters apart), and the
# explorer's Show must frame more of the map's blocks than the one block it lists.
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
# The preset fixes the window at 800 x 600: in its pictures the cluster-map pane (59664) spans
# x 5 to 794 and y 339 to 569. The fragmented colour is pure red, and a marked block is framed
# in 404040.
pane=5,339,795,570
python3 "$here/map-pixels.py" FF0000 "$pane" fewer "$pictures/map-analyzed.png" "$pictures/map-after.png" &&
    python3 "$here/map-pixels.py" 404040 "$pane" more "$pictures/explorer-picked.png" "$pictures/explorer-show.png"
