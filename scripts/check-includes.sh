#!/usr/bin/env bash
# Fails when a folder includes a header of a folder above it. The folders form
# one stack, platform <- base <- protocol <- engine <- the programs, beside
# which the simulated disk and the window libraries stand on their own; tests
# may include anything, and a folder's benchmarks run it on simulated volumes.
set -eu
cd "${1:-$(dirname "$0")/..}"

git ls-files -z '*.h' '*.cpp' '*.c' '*.rc' | grep -zv '^tests/' |
    xargs -0 grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^/"]+/' |
    awk '
BEGIN {
    allow["platform"]   = "platform"
    allow["base"]       = "platform base"
    allow["protocol"]   = "platform base protocol"
    allow["engine"]     = "platform base protocol engine"
    allow["simdisk"]    = "platform base simdisk"
    allow["service"]    = "platform base protocol engine simdisk service"
    allow["cmdtool"]    = "platform base protocol cmdtool"
    allow["classlib"]   = "platform base classlib"
    allow["guitoolkit"] = "platform base protocol classlib guitoolkit"
    allow["gui"]        = "platform base protocol classlib guitoolkit cmdtool gui"
    allow["updater"]    = "platform base classlib guitoolkit cmdtool updater"
    bad = 0
}
{
    split($0, part, ":")
    file = part[1]; line = part[2]
    folder = file; sub(/\/.*/, "", folder)
    if (!(folder in allow)) next
    ok = " " allow[folder] " "
    if (file ~ /\/bench\//) ok = ok "simdisk "
    target = $0; sub(/^[^"]*"/, "", target); sub(/\/.*/, "", target)
    if (index(ok, " " target " ") == 0) {
        printf "%s:%s: includes %s/, which stands above %s/\n", file, line, target, folder > "/dev/stderr"
        bad = 1
    }
}
END { exit bad }'
