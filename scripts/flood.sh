#!/usr/bin/env bash
# The long floods by hand: answers pushed at the program over loopback UDP as
# fast as it takes them (default 100000), then through a pty paced at 115200
# bit/s (default 100000, about a minute and a half). Every complete answer
# must be parsed in order, the 50 ms tick keep running at least 15 times a
# second, and resident memory stay flat.
#   scripts/flood.sh [UDP_ANSWERS [PTY_ANSWERS]]
set -euo pipefail
cd "$(dirname "$0")/.."
udp=${1:-100000}
pty=${2:-100000}
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target soak_tests
CORVANE_FLOOD_ANSWERS=$udp CORVANE_PTY_ANSWERS=$pty timeout $((180 + udp / 500 + pty / 1000)) \
    build/default/tests/faults/soak_tests --gtest_filter='Flood.*'
