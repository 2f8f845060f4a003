#!/usr/bin/env bash
# Builds everything and starts the program; its arguments go to the program.
#
# Run from a directory that has its own config.ini, the program uses it as it
# stands (no simulator). Otherwise it runs in ./demo/ against the built-in
# router simulator on 127.0.0.1, which is stopped when the program exits.
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
simulator=$build/tools/routersim/routersim

if [ -f "$start/config.ini" ]; then
    cd "$start"
    exec "$program" "$@"
fi

demo=$start/demo
mkdir -p "$demo"
cd "$demo"

. "$root/scripts/simulator.sh"
trap stop_simulator EXIT
start_simulator "$simulator" 0
write_demo_config

echo "router simulator on 127.0.0.1:$port (pid $sim); working directory $demo"
# The demo connects at once, so a new user sees a live router.
"$program" --connect "$@"
