#!/usr/bin/env bash
# Builds the program and runs it with --demo (the built-in router simulator on
# 127.0.0.1) under Xvfb, once at scale 1 and once at scale 2, and saves the
# window after the start-up poll as docs/screenshot.png and docs/screenshot@2x.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# CORVANE_BUILD names an existing build directory to use instead of the preset's.
build=${CORVANE_BUILD:-}
if [ -z "$build" ]; then
    "$root/scripts/install-deps.sh"
    (cd "$root" && cmake --preset default >/dev/null &&
        cmake --build --preset default -j "$(nproc)" --target corvane)
    build=$root/build/default
fi

program=$build/src/app/corvane
mkdir -p "$root/docs"

shoot() {  # $1: scale factor, $2: target file
    if command -v xvfb-run >/dev/null; then
        QT_SCALE_FACTOR=$1 timeout 90 xvfb-run -a -s "-screen 0 2560x2048x24" \
            "$program" --demo --screenshot "$2"
    else
        QT_SCALE_FACTOR=$1 QT_QPA_PLATFORM=offscreen timeout 90 "$program" --demo --screenshot "$2"
    fi
    echo "saved $2"
}
shoot 1 "$root/docs/screenshot.png"
shoot 2 "$root/docs/screenshot@2x.png"
