#!/usr/bin/env bash
# Runs a graphical program under Wine and drives it with guiprobe through a step file; passes
# only when every step passes. The program, guiprobe and, when asked, the service run in a Wine
# prefix, a virtual desktop and an X display of their own, so that the windows of tests running
# beside it never appear in its pictures. The pictures are kept in BUILD_DIR/screenshots/TEST/,
# the prefix and the logs in BUILD_DIR/e2e-gui/TEST/, TEST being the step file's name without
# its extension.
#   check-gui.sh SOURCE_DIR BUILD_DIR PROGRAM STEPFILE [SERVICE ARGS...]
# With SERVICE ARGS, VfoldSvcSim.exe runs in the foreground with them (for example
# --image S:=/path/S.img; the Unix path of an image is handed over as a Windows path) before
# the program starts, and the program starts once VfoldCmd /A:List answers; guiprobe's service
# steps stop and start it again. VF_GUI_PRESET names a file of registry values written before
# the program starts, one a line: KEY|VALUE|TYPE|DATA.
# On every way out it stops what it started, and nothing else: the program (by an Exit step
# of its own or by its pid), the service (as Ctrl+C stops it), then its own prefix's server.
set -uo pipefail

if [ $# -lt 4 ]; then
    echo "usage: check-gui.sh SOURCE_DIR BUILD_DIR PROGRAM STEPFILE [SERVICE ARGS...]" >&2
    exit 2
fi
source_dir="$1"
build_dir="$(cd "$2" && pwd)"
program="$3"
steps="$4"
shift 4
service_args=("$@")
. "$source_dir/scripts/install-deps.sh"

test_name="$(basename "$steps")"
test_name="${test_name%.*}"
work="$build_dir/e2e-gui/$test_name"
pictures="$build_dir/screenshots/$test_name"
probe="$build_dir/tests/e2e/guiprobe/guiprobe.exe"
service="$build_dir/service/VfoldSvcSim.exe"
cmd="$build_dir/cmdtool/VfoldCmd.exe"
# guiprobe bounds each of its steps; this bounds a whole run that goes wrong all the same.
probe_limit="${VF_GUIPROBE_LIMIT:-240}"
# How long the program may take to end after the last step, and the service after Ctrl+C.
exit_limit=15
stop_limit=60

program_pid=""
service_pid=""
status=0
# A prefix chosen by the caller (the test run's own) is not this script's to stop.
unset WINEPREFIX

# Waits up to SECONDS for the process to end; false when it is still running.
wait_end() {
    local i
    for ((i = 0; i < $2 * 5; i++)); do
        vf_alive "$1" || return 0
        sleep 0.2
    done
    ! vf_alive "$1"
}

fail() {
    echo "check-gui: $*"
    status=1
}

stop_program() {
    [ -n "$program_pid" ] || return 0
    if ! wait_end "$program_pid" "$exit_limit"; then
        echo "check-gui: the program is still running; stopped by its pid"
        kill "$program_pid" 2>/dev/null
        wait_end "$program_pid" 10
    fi
    local program_status=0
    wait "$program_pid" || program_status=$?
    echo "check-gui: the program ended with $program_status"
    program_pid=""
}

stop_service() {
    [ -n "$service_pid" ] || return 0
    kill -INT "$service_pid" 2>/dev/null
    if ! wait_end "$service_pid" "$stop_limit"; then
        fail "the service did not stop within $stop_limit s of Ctrl+C"
        service_pid=""
        return
    fi
    local service_status=0
    wait "$service_pid" || service_status=$?
    service_pid=""
    # The foreground service ends with 1 when it ran and stopped as it should.
    [ "$service_status" -eq 1 ] || fail "the service ended with $service_status"
}

# Processes of this run's prefix that outlived its server: none may be left.
leftovers() {
    grep -lzx "WINEPREFIX=$work/prefix" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3
}

cleanup() {
    trap - EXIT INT TERM HUP
    stop_program
    stop_service
    if [ -n "${WINEPREFIX:-}" ]; then
        vf_wine_stop
        timeout 30 wineserver -w >/dev/null 2>&1
        # What runs from here on must not carry the prefix, or it would count as left behind.
        unset WINEPREFIX
    fi
    vf_xvfb_stop
    local left
    left="$(leftovers | tr '\n' ' ')"
    [ -z "$left" ] || fail "processes of the prefix left behind: $left"
    exit "$status"
}
trap cleanup EXIT
trap 'status=130; exit' INT
trap 'status=143; exit' TERM
trap 'status=129; exit' HUP

for file in "$probe" "$program" "$steps"; do
    [ -f "$file" ] || { fail "$file is missing"; exit; }
done
rm -rf "$work" "$pictures"
mkdir -p "$work" "$pictures"

vf_xvfb_start || { fail "no X display"; exit; }
vf_wine_start "$work/prefix" 1024x768
# A crashing window program has no console for the debugger's report, which would be lost;
# the debugger writes it to a file of the run instead.
crash_report="$work/crash.txt"
vf_wine_reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ \
    /d "cmd.exe /c C:\\windows\\system32\\winedbg.exe --auto %ld %ld >>$(vf_winpath "$crash_report") 2>&1"

# Starts the service with its arguments and waits until VfoldCmd /A:List answers; false, with
# the reason told, when it does not.
start_service() {
    local args=() arg listed="" i
    for arg in "${service_args[@]}"; do
        if [[ "$arg" =~ ^([A-Za-z]:=)(/.*)$ ]]; then
            arg="${BASH_REMATCH[1]}$(vf_winpath "${BASH_REMATCH[2]}")"
        fi
        args+=("$arg")
    done
    # A session of its own, as in the demo: Ctrl+C reaches the service only when sent to it.
    setsid wine "$service" "${args[@]}" -f </dev/null >>"$work/service.log" 2>&1 &
    service_pid=$!
    for ((i = 0; i < 60; i++)); do
        vf_alive "$service_pid" || break
        if listed="$(wine "$cmd" /A:List </dev/null 2>&1)"; then
            break
        fi
        # A service with a connection password answers VfoldCmd by asking for it: it is up.
        [[ "$listed" == *"asks for a password"* ]] && break
        listed=""
        sleep 1
    done
    if [ -z "$listed" ]; then
        fail "the service did not answer VfoldCmd /A:List within 60 s; its output:"
        sed 's/\r$//; s/^/    /' "$work/service.log"
        return 1
    fi
    echo "check-gui: the service lists:"
    tr -d '\r' <<<"$listed" | sed 's/^/    /'
}

# Carries out a stop or start that a service step of guiprobe asked for, and answers it.
serve_request() {
    local request answer=ok
    request="$(tr -d '\r\n' <"$control/request")"
    rm -f "$control/request"
    echo "check-gui: guiprobe asks the service to $request"
    case "$request" in
    stop) stop_service ;;
    start) [ -z "$service_pid" ] && start_service ;;
    *) false ;;
    esac || answer="the service could not $request; see the service's output"
    [ "$status" -eq 0 ] || answer="the service could not $request: $(tail -1 "$work/service.log" | tr -d '\r')"
    echo "$answer" >"$control/done"
}

# Registry values the program finds at its start, one a line: KEY|VALUE|TYPE|DATA.
if [ -n "${VF_GUI_PRESET:-}" ]; then
    while IFS='|' read -r key value type data; do
        [[ -z "$key" || "$key" == \#* ]] && continue
        vf_wine_reg "$key" /v "$value" /t "$type" /d "$data" || { fail "the preset $key $value was not written"; exit; }
    done <"$VF_GUI_PRESET"
fi

control=""
if [ ${#service_args[@]} -gt 0 ]; then
    for file in "$service" "$cmd"; do
        [ -f "$file" ] || { fail "$file is missing"; exit; }
    done
    start_service || exit
    control="$work/control"
    mkdir -p "$control"
fi

read -ra program_args <<<"${VF_GUI_PROGRAM_ARGS:-}"
wine "$program" "${program_args[@]}" </dev/null >"$work/program.log" 2>&1 &
program_pid=$!

probe_args=("$(vf_winpath "$steps")" "$(vf_winpath "$work/guiprobe.log")" "$(vf_winpath "$pictures")")
[ -n "$control" ] && probe_args+=("$(vf_winpath "$control")")
probe_status=0
timeout -k 10 "$probe_limit" wine "$probe" "${probe_args[@]}" </dev/null >"$work/guiprobe.out" 2>&1 &
probe_pid=$!
while vf_alive "$probe_pid"; do
    [ -n "$control" ] && [ -f "$control/request" ] && serve_request
    sleep 0.2
done
wait "$probe_pid" || probe_status=$?
[ -s "$work/guiprobe.log" ] && sed 's/\r$//' "$work/guiprobe.log"
[ -s "$work/guiprobe.out" ] && sed 's/\r$//; s/^/guiprobe: /' "$work/guiprobe.out"
case "$probe_status" in
0) ;;
124 | 137) fail "guiprobe did not end within $probe_limit s" ;;
255) fail "guiprobe ran no step" ;;
*) fail "$probe_status steps failed or were not run" ;;
esac

stop_program
if [ "$status" -ne 0 ] && [ -s "$work/program.log" ]; then
    echo "check-gui: the program's output:"
    sed 's/\r$//; s/^/    /' "$work/program.log"
fi
if [ -s "$crash_report" ]; then
    fail "a program of the run crashed; the debugger's report:"
    sed 's/\r$//; s/^/    /' "$crash_report"
fi
pictures_taken="$(cd "$pictures" && ls)"
echo "check-gui: pictures in $pictures: ${pictures_taken//$'\n'/ }"
