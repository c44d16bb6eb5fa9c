#!/usr/bin/env bash
# The updater end to end: each case runs Update.exe against the test web server (with the
# stand-in installer as its setup.exe) through check-gui.sh, then checks what the run left in
# the prefix's temporary folder.
#   check-updater.sh SOURCE_DIR BUILD_DIR UPDATE_EXE SETUP_EXE
set -uo pipefail
source_dir="$1"
build_dir="$(cd "$2" && pwd)"
update="$3"
setup="$4"
here="$source_dir/tests/updater/e2e"
status=0

# The step files, with the size that the dialog shows for the stand-in installer put in.
steps_dir="$build_dir/e2e-updater"
mkdir -p "$steps_dir"
size="$(python3 -c 'import os, sys; print("%.2f" % (os.path.getsize(sys.argv[1]) / 1048576))' "$setup")"
for file in "$here"/*.steps; do
    sed "s/@SIZE@/$size/" "$file" >"$steps_dir/$(basename "$file")"
done

# Runs one case: its step file, the description's path and the installed version.
run_case() {
    local steps="$steps_dir/$1.steps" path="$2" version="$3"
    echo "=== $1"
    VF_CASE_PATH="$path" VF_CASE_VERSION="$version" \
        bash "$source_dir/tests/updater/with-server.sh" "$source_dir/tests/updater/UpdateServer.py" --setup "$setup" -- \
        bash -c 'VF_GUI_PROGRAM_ARGS="/N:Varnefold /U:http://127.0.0.1:$VF_UPDATE_SERVER_PORT$VF_CASE_PATH /V:$VF_CASE_VERSION" \
                 exec bash "$0" "$@"' "$source_dir/tests/e2e/check-gui.sh" "$source_dir" "$build_dir" "$update" "$steps" ||
        { echo "check-updater: $1 failed"; status=1; }
}

# The prefix's temporary folder after a case.
temp_of() {
    find "$build_dir/e2e-gui/$1/prefix/drive_c/users" -maxdepth 2 -type d -name Temp | head -1
}

run_case e2e_updater_newer /desc.xml 1.0.0.0
temp="$(temp_of e2e_updater_newer)"
if [ -z "$temp" ] || [ ! -f "$temp/setup-ran.txt" ]; then
    echo "check-updater: the installer did not run: no setup-ran.txt in ${temp:-the Temp folder of the prefix}"
    status=1
fi
run_case e2e_updater_same /desc.xml 3.6.0.0
run_case e2e_updater_404 /404 1.0.0.0
run_case e2e_updater_cancel "/desc.xml?location=/slow" 1.0.0.0
temp="$(temp_of e2e_updater_cancel)"
if [ -n "$temp" ] && [ -e "$temp/slow" ]; then
    echo "check-updater: the cancelled download left $temp/slow"
    status=1
fi
[ "$status" -eq 0 ] && echo "check-updater: all cases passed"
exit "$status"
