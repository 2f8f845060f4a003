#!/usr/bin/env bash
# The long soak by hand: route commands through the simulator (default 10000,
# one per 50 ms tick, so about nine minutes), each checked to arrive exactly
# once and in order, with the program's resident memory checked flat.
#   scripts/soak.sh [ROUTES]
set -euo pipefail
cd "$(dirname "$0")/.."
routes=${1:-10000}
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target soak_tests routersim
CORVANE_SOAK_ROUTES=$routes timeout $((120 + routes / 5)) \
    build/default/tests/faults/soak_tests --gtest_filter='Soak.*'
