#!/usr/bin/env bash
# Cross-builds the core library, the Windows serial and UDP backends and the
# core unit tests with mingw-w64 into build/mingw, then runs every test
# executable under Wine, each bounded in time.
#
# When a native routersim is built (build/default), its pseudo-terminal is
# mapped to COM9 inside the Wine prefix so that the Win32 serial link is also
# exercised against a real byte stream.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/mingw
per_test_timeout=${WINDOWS_TEST_TIMEOUT:-300}
export WINEPREFIX=${WINEPREFIX:-$PWD/$build/wineprefix}
export WINEDEBUG=-all

cmake -S . -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCORVANE_GUI=OFF -DCORVANE_TOOLS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

# The first start creates the prefix; later starts reuse it.
timeout 300 cmake/wine-run.sh wineboot --init >/dev/null 2>&1 || true

sim_pids=()
cleanup() {
    for pid in "${sim_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -f "$WINEPREFIX/dosdevices/com8" "$WINEPREFIX/dosdevices/com9"
}
trap cleanup EXIT

# Starts the simulator on a pty and maps it to a COM port in the prefix.
sim=${ROUTERSIM:-build/default/tools/routersim/routersim}
map_router() {
    local com=$1
    shift
    local out
    out=$(mktemp)
    "$sim" --serial --duration 600 "$@" >"$out" 2>/dev/null &
    sim_pids+=($!)
    for _ in $(seq 1 50); do
        grep -q '^serial: ' "$out" && break
        sleep 0.1
    done
    local pts
    pts=$(sed -n 's/^serial: //p' "$out" | head -n 1)
    rm -f "$out"
    [ -n "$pts" ] || return 1
    mkdir -p "$WINEPREFIX/dosdevices"
    ln -sfn "$pts" "$WINEPREFIX/dosdevices/${com,,}"
}
if [ -x "$sim" ]; then
    map_router COM9 && export CORVANE_TEST_COM=COM9
    map_router COM8 --fault drop && export CORVANE_TEST_COM_DROP=COM8
else
    echo "no native routersim at $sim: the serial cases are skipped"
fi

failed=()
mapfile -t tests < <(find "$build/tests" -name '*_tests.exe' | sort)
[ ${#tests[@]} -gt 0 ] || { echo "no Windows test executables built"; exit 1; }
for exe in "${tests[@]}"; do
    echo "--- $(basename "$exe") under Wine"
    log=$(mktemp)
    rc=0
    timeout "$per_test_timeout" cmake/wine-run.sh "$exe" --gtest_brief=1 >"$log" 2>&1 || rc=$?
    grep -v -e 'rundll32.exe' -e 'has been updated' "$log" || true
    rm -f "$log"
    [ "$rc" -eq 0 ] || failed+=("$(basename "$exe") (exit $rc)")
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "FAILED under Wine: ${failed[*]}"
    exit 1
fi
echo "all Windows tests passed"
