#!/usr/bin/env bash
# The long floods by hand: answers pushed at the program over loopback UDP as
# fast as it takes them (default 100000), then through a pty paced at 115200
# bit/s (default 100000, about a minute and a half). Every complete answer
# must be parsed in order, the 50 ms tick keep running at least 15 times a
# second, and resident memory stay flat.
#   bench/flood.sh [UDP_ANSWERS [PTY_ANSWERS]]
set -euo pipefail
cd "$(dirname "$0")/.."
udp=${1:-100000}
pty=${2:-100000}
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target soak
CORVANE_FLOOD_ANSWERS=$udp CORVANE_PTY_ANSWERS=$pty timeout $((180 + udp / 500 + pty / 1000)) \
    "$build"/bench/soak --gtest_filter='Flood.*'
