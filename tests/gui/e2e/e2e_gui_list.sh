#!/usr/bin/env bash
# The drive list end to end, in three runs of check-gui.sh on the service with two simulated
# volumes: the list, an analysis and a defragmentation (then both volumes must be whole and the
# first less fragmented); the connection password; the service stopping and coming back. The
# pictures of all three runs are gathered in BUILD_DIR/screenshots/e2e_gui_list/.
#   e2e_gui_list.sh SOURCE_DIR BUILD_DIR PROGRAM S_IMAGE T_IMAGE
set -uo pipefail

if [ $# -ne 5 ]; then
    echo "usage: e2e_gui_list.sh SOURCE_DIR BUILD_DIR PROGRAM S_IMAGE T_IMAGE" >&2
    exit 2
fi
source_dir="$1"
build_dir="$(cd "$2" && pwd)"
program="$3"
s_image="$4"
t_image="$5"
here="$source_dir/tests/gui/e2e"
simdisk="$build_dir/simdisk/simdisk.exe"
pictures="$build_dir/screenshots/e2e_gui_list"
work="$build_dir/e2e-gui/e2e_gui_list_runs"
status=0
mkdir -p "$work"

fail() {
    echo "e2e_gui_list: $*"
    status=1
}

# The fragmented-file count simdisk reports for an image; empty when it cannot.
fragmented_files() {
    timeout 120 wine "$simdisk" info "Z:$1" </dev/null 2>/dev/null | tr -d '\r' |
        sed -n 's/^fragmented files *\([0-9][0-9]*\)$/\1/p'
}

# One run: the step file, the preset files joined, then the volumes.
run() {
    local steps="$1"
    local preset="$work/$(basename "$steps" .steps).preset"
    shift
    cat "$@" >"$preset"
    VF_GUI_PRESET="$preset" VF_GUIPROBE_LIMIT=600 \
        bash "$source_dir/tests/e2e/check-gui.sh" "$source_dir" "$build_dir" "$program" "$steps" \
        --image "S:=$s_image" --image "T:=$t_image" || fail "$(basename "$steps") failed"
}

before="$(fragmented_files "$s_image")"
[ -n "$before" ] || fail "simdisk cannot read $s_image"
run "$here/e2e_gui_list.steps" "$here/e2e_gui_list.preset" "$here/e2e_gui_list_idle.preset"
for image in "$s_image" "$t_image"; do
    timeout 300 wine "$simdisk" verify "Z:$image" </dev/null || fail "$image is not whole after the runs"
done
after="$(fragmented_files "$s_image")"
echo "e2e_gui_list: fragmented files on S: before $before, after ${after:-?}"
[ -n "$after" ] && [ -n "$before" ] && [ "$after" -lt "$before" ] || fail "the defragmentation left S: as fragmented"

# The variants write their pictures to folders of their own; they join the first run's.
for variant in password restart; do
    presets=("$here/e2e_gui_list.preset")
    [ "$variant" = password ] && presets+=("$here/e2e_gui_list_password.preset")
    run "$here/e2e_gui_list_$variant.steps" "${presets[@]}"
    cp "$build_dir/screenshots/e2e_gui_list_$variant/"*.png "$pictures/" 2>/dev/null ||
        fail "the $variant run took no picture"
done
exit "$status"
