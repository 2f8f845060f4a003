#!/usr/bin/env bash
# Builds everything and starts the program against the built-in router simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
echo "The program is not built yet; the build above compiled the core."
