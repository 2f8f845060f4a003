#!/usr/bin/env bash
# Builds everything and runs every test: the normal build and the Debian
# package built from it (validated and run from its unpacked files), then the same suite
# under AddressSanitizer + UndefinedBehaviorSanitizer, then the ring and serial
# tests under ThreadSanitizer, a short run of each fuzz target, and the core
# tests cross-built for Windows and run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

for preset in default asan; do
    echo "=== $preset ==="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
    if [ "$preset" = default ]; then
        echo "=== package ==="
        scripts/package-check.sh
    fi
done

echo "=== tsan ==="
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan -j "$jobs" -L threads

echo "=== fuzz ==="
scripts/fuzz.sh "${FUZZ_SECONDS:-60}"

echo "=== windows (mingw-w64 + wine) ==="
scripts/windows-tests.sh
