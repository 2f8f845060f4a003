#!/usr/bin/env bash
# Runs every libFuzzer target for the given number of seconds (default 20),
# starting from its corpus under tests/fuzz/corpus/<target>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
for target in build/fuzz/tests/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=tests/fuzz/corpus/${name#fuzz_}
    work=$(mktemp -d)
    echo "--- $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -max_len=4096 "$work" "$corpus" 2>&1 | tail -n 3
    rm -rf "$work"
done
