#!/usr/bin/env bash
# Runs a command with the updater's test web server beside it, and stops the
# server after it. The port goes to the command as VF_UPDATE_SERVER_PORT.
#   with-server.sh SERVER.py [--setup PATH] -- COMMAND...
set -u
server="$1"
shift
server_args=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    server_args+=("$1")
    shift
done
shift
dir="$(mktemp -d)"
python3 "$server" "$dir/port" "${server_args[@]}" &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 200); do
    [ -s "$dir/port" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
done
if [ ! -s "$dir/port" ]; then
    echo "with-server.sh: the test web server did not start" >&2
    exit 1
fi
export VF_UPDATE_SERVER_PORT="$(cat "$dir/port")"
# Proxies of the machine would take the requests to 127.0.0.1 elsewhere.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
"$@"
