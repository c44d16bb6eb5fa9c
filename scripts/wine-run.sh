#!/usr/bin/env bash
# Runs one Windows program under Wine for the tests: quiet, and in the
# build's own prefix unless the caller chose one.
set -u
: "${WINEDEBUG:=-all}"
export WINEDEBUG
if [ -z "${WINEPREFIX:-}" ]; then
    echo "wine-run.sh: WINEPREFIX is not set" >&2
    exit 2
fi
export WINEPREFIX
exec wine "$@"
