#!/usr/bin/env bash
# Builds the benchmarks into build/bench and runs them all: the core and GUI
# benchmarks (each with its ratio against a baseline from the same run) and
# the whole-connection figures over loopback, headless and through the window.
# Output goes to the terminal and to build/bench/figures.txt.
#   bench/figures.sh [--quick]
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
[ "${1:-}" = "--quick" ] && quick=1
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target core_bench loopback_figures videohub_figures swp08_figures gui_bench gui_figures

export QT_QPA_PLATFORM=offscreen
min_time=0.5
figure_args=()
if [ "$quick" -eq 1 ]; then
    min_time=0.1
    figure_args=(--runs 2 --clicks 8 --idle-seconds 2)
fi

out="$build/figures.txt"
{
    echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
    echo "## core_bench"
    timeout 600 "$build/bench/core_bench" --benchmark_min_time="$min_time"
    echo "## gui_bench"
    timeout 600 "$build/bench/gui_bench" --benchmark_min_time="$min_time" 2>/dev/null
    echo "## gui_bench at scale 2 (owner-drawn painting at the pixel ratio)"
    QT_SCALE_FACTOR=2 timeout 600 "$build/bench/gui_bench" --benchmark_min_time="$min_time" \
        --benchmark_filter='MatrixView|Paint|SingleFill' 2>/dev/null
    echo "## loopback_figures"
    timeout 300 "$build/bench/loopback_figures" "${figure_args[@]}"
    echo "## videohub_figures"
    timeout 300 "$build/bench/videohub_figures" "${figure_args[@]:0:2}"
    echo "## swp08_figures"
    timeout 300 "$build/bench/swp08_figures" "${figure_args[@]:0:2}"
    echo "## gui_figures"
    timeout 300 "$build/bench/gui_figures" "${figure_args[@]}" 2>/dev/null
} | tee "$out"
