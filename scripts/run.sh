#!/usr/bin/env bash
# Builds everything and starts the program; its arguments go to the program.
#
# Run from a directory that has its own config.ini, the program uses it as it
# stands (no simulator). Otherwise it runs with --demo: against the router
# simulator built into it, on 127.0.0.1, in a scratch folder removed at exit.
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

# A directory with its own config.ini runs as it stands; anywhere else the
# program runs its built-in router simulator in a scratch folder.
if [ -f "$start/config.ini" ]; then
    cd "$start"
    exec "$program" "$@"
fi
exec "$program" --demo "$@"
