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

. "$root/scripts/simulator.sh"
work=$(mktemp -d)
trap 'stop_simulator; rm -rf "$work"' EXIT
start_simulator "$simulator" 120
cd "$work"
write_demo_config

if command -v xvfb-run >/dev/null; then
    timeout 90 xvfb-run -a -s "-screen 0 1280x1024x24" "$program" --connect --screenshot "$target"
else
    QT_QPA_PLATFORM=offscreen timeout 90 "$program" --connect --screenshot "$target"
fi
echo "saved $target"
