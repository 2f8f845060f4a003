#!/usr/bin/env bash
# Builds everything and starts the program; its arguments go to the program.
#
# Run from a directory that has its own config.ini, the program uses it as it
# stands (no simulator). Otherwise it runs in ./demo/ against the built-in
# router simulator on 127.0.0.1, which is stopped when the program exits.
set -euo pipefail
start=$(pwd)
root=$(cd "$(dirname "$0")/.." && pwd)

# CORVANE_BUILD names an existing build directory to use instead of the preset's.
build=${CORVANE_BUILD:-}
if [ -z "$build" ]; then
    "$root/scripts/install-deps.sh"
    (cd "$root" && cmake --preset default >/dev/null && cmake --build --preset default -j "$(nproc)")
    build=$root/build/default
fi

program=$build/src/app/corvane
simulator=$build/tools/routersim/routersim

if [ -f "$start/config.ini" ]; then
    cd "$start"
    exec "$program" "$@"
fi

demo=$start/demo
mkdir -p "$demo"
cd "$demo"

# The simulator picks a free loopback port and prints it.
out=$(mktemp)
"$simulator" --udp 0 --duration 0 >"$out" 2>&1 &
sim=$!
cleanup() {
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    rm -f "$out"
}
trap cleanup EXIT

port=""
for _ in $(seq 50); do
    port=$(sed -n 's/^udp: 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")
    [ -n "$port" ] && break
    kill -0 "$sim" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$port" ]; then
    echo "the router simulator did not start:" >&2
    cat "$out" >&2
    exit 1
fi

# Keep the demo's channel names from earlier runs; point the link at the simulator.
if [ -f config.ini ]; then
    sed -i -e 's/^IpAddress=.*/IpAddress=127.0.0.1/' -e "s/^UDPPort=.*/UDPPort=$port/" \
        -e 's/^CommType=.*/CommType=UDP/' config.ini
else
    printf '[SETCOMMCONFIG]\r\nCommType=UDP\r\nIpAddress=127.0.0.1\r\nUDPPort=%s\r\n' "$port" >config.ini
fi

echo "router simulator on 127.0.0.1:$port (pid $sim); working directory $demo"
"$program" "$@"
