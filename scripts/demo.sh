#!/usr/bin/env bash
# The whole chain on two simulated volumes under Wine: installs what is missing, builds, makes a
# fragmented NTFS volume (S:) and a fragmented FAT32 volume (T:) in image files, runs the
# service on them in the foreground, and through VfoldCmd lists the volumes, defragments S:
# completely and T: quickly, waiting for each run to end; then stops the service, which writes
# the volumes back, and shows each volume's figures before and after and the simulated disk's
# own check of both. Exit status 0 only when every step worked and both volumes are whole.
#   scripts/demo.sh [--size SIZE] [--files N] [--seed S] [--prebuilt]
#     --size      size of each volume, with K, M, G or T (default 1G)
#     --files     files on each volume (default 3000)
#     --seed      seed of the volumes' contents (default 1; T: takes the next one)
#     --prebuilt  take the programs already built in the build folder; install and build nothing
# The prefix, the images and the service's output live in a folder of their own that is
# removed, with the service, on every way out, Ctrl+C included.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/install-deps.sh

size=1G
files=3000
seed=1
prebuilt=0
usage() {
    echo "usage: scripts/demo.sh [--size SIZE] [--files N] [--seed S] [--prebuilt]" >&2
    exit 2
}
while [ $# -gt 0 ]; do
    case "$1" in
    --size) [ $# -ge 2 ] || usage; size="$2"; shift 2 ;;
    --files) [ $# -ge 2 ] || usage; files="$2"; shift 2 ;;
    --seed) [ $# -ge 2 ] || usage; seed="$2"; shift 2 ;;
    --prebuilt) prebuilt=1; shift ;;
    *) usage ;;
    esac
done
[[ "$size" =~ ^[0-9]+[KMGTkmgt]?$ ]] || { echo "demo: --size must be a number with K, M, G or T" >&2; exit 2; }
[[ "$files" =~ ^[0-9]+$ ]] || { echo "demo: --files must be a number" >&2; exit 2; }
[[ "$seed" =~ ^[0-9]+$ ]] || { echo "demo: --seed must be a number" >&2; exit 2; }

build="${VF_BUILD_DIR:-build}"
simdisk="$build/simdisk/simdisk.exe"
cmd="$build/cmdtool/VfoldCmd.exe"
service="$build/service/VfoldSvcSim.exe"
# A run of VfoldCmd /A:Wait, and the service's stop, that lasts longer than this has gone wrong.
wait_limit=600
stop_limit=60

work=""
svc_pid=""
step_no=0
steps=9

# Stops the service the way Ctrl+C stops it in a console; false when it does not end in time.
stop_service() {
    local i
    [ -n "$svc_pid" ] || return 0
    kill -INT "$svc_pid" 2>/dev/null || true
    for ((i = 0; i < stop_limit * 5; i++)); do
        vf_alive "$svc_pid" || break
        sleep 0.2
    done
    if vf_alive "$svc_pid"; then
        return 1
    fi
    svc_status=0
    wait "$svc_pid" || svc_status=$?
    svc_pid=""
    return 0
}

cleanup() {
    local status=$?
    trap - EXIT INT TERM HUP
    if [ -n "$svc_pid" ] && ! stop_service; then
        echo "demo: the service did not stop; its prefix is ended" >&2
    fi
    # Ends whatever is left in the demo's own prefix, and nothing outside it.
    [ -n "$work" ] && vf_wine_stop
    [ -n "$work" ] && rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'echo; echo "demo: interrupted" >&2; exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

fail() {
    echo "FAILED" >&2
    echo "demo: $*" >&2
    if [ -n "$work" ] && [ -s "$work/service.log" ]; then
        echo "demo: the service's output:" >&2
        sed 's/\r$//; s/^/    /' "$work/service.log" >&2
    fi
    exit 1
}

step() {
    step_no=$((step_no + 1))
    step_start=$SECONDS
    printf '[%d/%d] %s ... ' "$step_no" "$steps" "$1"
}

done_step() {
    echo "${1:-done} ($((SECONDS - step_start)) s)"
}

# Runs a Windows program quietly; its output, without the carriage returns, to standard output.
run() {
    wine "$@" </dev/null 2>&1 | tr -d '\r'
}

# One figure ("fragmented files", ...) of a saved `simdisk info` report.
figure() {
    awk -v key="$2" '{ value = $NF; $NF = ""; sub(/ +$/, ""); if ($0 == key) print value }' "$1"
}

# Runs VfoldCmd /A:Wait, showing the time that passes, until no volume is busy.
wait_for_volumes() {
    local wait_pid status=0 tick=0
    wine "$cmd" /A:Wait </dev/null >"$work/wait.out" 2>&1 &
    wait_pid=$!
    while vf_alive "$wait_pid"; do
        if ((tick >= wait_limit * 2)); then
            kill "$wait_pid" 2>/dev/null || true
            wait "$wait_pid" 2>/dev/null || true
            fail "VfoldCmd /A:Wait did not end within $wait_limit s"
        fi
        if [ -t 1 ] && ((tick % 2 == 0)); then
            printf '%4d s\b\b\b\b\b\b' "$((SECONDS - step_start))"
        elif ((tick > 0 && tick % 60 == 0)); then
            printf '%d s ... ' "$((SECONDS - step_start))"
        fi
        sleep 0.5
        tick=$((tick + 1))
    done
    wait "$wait_pid" || status=$?
    [ "$status" -eq 0 ] || fail "VfoldCmd /A:Wait ended with $status: $(tr -d '\r' <"$work/wait.out")"
}

# Sends one action for one volume and waits until the run has ended.
defragment() {
    local action="$1" letter="$2" out status=0
    out="$(run "$cmd" "/A:$action" "/D:$letter")" || status=$?
    [ "$status" -eq 0 ] || fail "VfoldCmd /A:$action /D:$letter ended with $status: $out"
    wait_for_volumes
}

echo "Varnefold demo: NTFS volume S: and FAT32 volume T:, $size and $files files each, seed $seed"

step "installing what is missing and building VfoldSvcSim, VfoldCmd and simdisk"
if [ "$prebuilt" -eq 0 ]; then
    vf_install_deps
    # Shown only when the build fails: a build with nothing to do still talks.
    out="$(vf_configure_and_build "$build" VfoldSvcSim VfoldCmd simdisk_tool 2>&1)" || {
        echo "$out"
        fail "the build failed"
    }
    done_step
else
    done_step "taken from $build"
fi
for program in "$simdisk" "$cmd" "$service"; do
    [ -f "$program" ] || fail "$program is missing"
done

step "making a fresh Wine prefix"
work="$(mktemp -d "${TMPDIR:-/tmp}/varnefold-demo.XXXXXX")"
vf_wine_start "$work/prefix"
done_step

step "creating the fragmented volumes"
ntfs_image="$work/ntfs.img"
fat_image="$work/fat32.img"
out="$(run "$simdisk" create "$(vf_winpath "$ntfs_image")" --fs ntfs --size "$size" --files "$files" \
    --fragmented 30 --seed "$seed")" || fail "simdisk create (NTFS): $out"
out="$(run "$simdisk" create "$(vf_winpath "$fat_image")" --fs fat32 --size "$size" --files "$files" \
    --fragmented 30 --seed "$((seed + 1))")" || fail "simdisk create (FAT32): $out"
run "$simdisk" info "$(vf_winpath "$ntfs_image")" >"$work/ntfs.before" || fail "simdisk info (NTFS)"
run "$simdisk" info "$(vf_winpath "$fat_image")" >"$work/fat32.before" || fail "simdisk info (FAT32)"
done_step "S: $(figure "$work/ntfs.before" "fragmented files") and T: $(figure "$work/fat32.before" \
    "fragmented files") fragmented files"

step "starting VfoldSvcSim -f on S: and T:"
# A session of its own: Ctrl+C in the terminal reaches the script, which stops the service itself.
setsid wine "$service" --image "S:=$(vf_winpath "$ntfs_image")" --image "T:=$(vf_winpath "$fat_image")" -f \
    </dev/null >"$work/service.log" 2>&1 &
svc_pid=$!
listed=""
for ((i = 0; i < 60; i++)); do
    vf_alive "$svc_pid" || fail "the service ended at start"
    if listed="$(run "$cmd" /A:List)"; then
        break
    fi
    listed=""
    sleep 1
done
[ -n "$listed" ] || fail "the service did not answer within 60 s"
done_step "ready"

step "VfoldCmd /A:List"
done_step "$(grep -c . <<<"$listed") volumes"
sed 's/^/      /' <<<"$listed"
grep -q '^S:\\ ' <<<"$listed" && grep -q '^T:\\ ' <<<"$listed" || fail "S: and T: are not both listed"

step "VfoldCmd /A:DefragComplete /D:S, then /A:Wait"
defragment DefragComplete S
done_step

step "VfoldCmd /A:DefragQuick /D:T, then /A:Wait"
defragment DefragQuick T
done_step

step "stopping the service (Ctrl+C), which writes the volumes back"
stop_service || fail "the service did not stop within $stop_limit s"
# The foreground service ends with 1 when it ran and stopped as it should; 0 also when a
# volume could not be written back.
[ "$svc_status" -eq 1 ] || fail "the service ended with $svc_status"
done_step

run "$simdisk" info "$(vf_winpath "$ntfs_image")" >"$work/ntfs.after" || fail "simdisk info (NTFS)"
run "$simdisk" info "$(vf_winpath "$fat_image")" >"$work/fat32.after" || fail "simdisk info (FAT32)"
echo
printf '%-22s %21s   %21s\n' "" "S: NTFS, complete" "T: FAT32, quick"
printf '%-22s %10s %10s   %10s %10s\n' "" before after before after
for key in "files" "fragmented files" "fragments" "free-space extents" "largest free extent"; do
    printf '%-22s %10s %10s   %10s %10s\n' "$key" \
        "$(figure "$work/ntfs.before" "$key")" "$(figure "$work/ntfs.after" "$key")" \
        "$(figure "$work/fat32.before" "$key")" "$(figure "$work/fat32.after" "$key")"
done
echo

step "simdisk verify of both volumes"
ntfs_check="$(run "$simdisk" verify "$(vf_winpath "$ntfs_image")")" || fail "S: is damaged: $ntfs_check"
fat_check="$(run "$simdisk" verify "$(vf_winpath "$fat_image")")" || fail "T: is damaged: $fat_check"
done_step "S: $ntfs_check, T: $fat_check"
