#!/usr/bin/env bash
# The long soak by hand: route commands through the simulator (default 10000,
# one per 50 ms tick, so about nine minutes), each checked to arrive exactly
# once and in order, with the program's resident memory checked flat.
#   bench/soak.sh [ROUTES]
set -euo pipefail
cd "$(dirname "$0")/.."
routes=${1:-10000}
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target soak routersim
CORVANE_SOAK_ROUTES=$routes timeout $((120 + routes / 5)) \
    "$build"/bench/soak --gtest_filter='Soak.*'
