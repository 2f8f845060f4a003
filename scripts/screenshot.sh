#!/usr/bin/env bash
# Builds the program, runs it under Xvfb against the router simulator on
# 127.0.0.1, connects, waits for the start-up poll and saves the window as
# docs/screenshot.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# CORVANE_BUILD names an existing build directory to use instead of the preset's.
build=${CORVANE_BUILD:-}
if [ -z "$build" ]; then
    "$root/scripts/install-deps.sh"
    (cd "$root" && cmake --preset default >/dev/null &&
        cmake --build --preset default -j "$(nproc)" --target corvane routersim)
    build=$root/build/default
fi

program=$build/src/app/corvane
simulator=$build/tools/routersim/routersim
target=$root/docs/screenshot.png
mkdir -p "$root/docs"

work=$(mktemp -d)
out=$work/routersim.out
"$simulator" --udp 0 --duration 120 >"$out" 2>&1 &
sim=$!
cleanup() {
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

port=""
for _ in $(seq 50); do
    port=$(sed -n 's/^udp: 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")
    [ -n "$port" ] && break
    kill -0 "$sim" 2>/dev/null || break
    sleep 0.1
done
[ -n "$port" ] || { echo "the router simulator did not start" >&2; cat "$out" >&2; exit 1; }

cd "$work"
printf '[SETCOMMCONFIG]\r\nCommType=UDP\r\nIpAddress=127.0.0.1\r\nUDPPort=%s\r\n' "$port" >config.ini

if command -v xvfb-run >/dev/null; then
    timeout 90 xvfb-run -a -s "-screen 0 1280x1024x24" "$program" --connect --screenshot "$target"
else
    QT_QPA_PLATFORM=offscreen timeout 90 "$program" --connect --screenshot "$target"
fi
echo "saved $target"
