#!/usr/bin/env bash
# The test command: set up the machine, build both presets, run every test.
# Exit status is the result.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

start=$(date +%s)
scripts/setup.sh
echo "test: set-up took $(( $(date +%s) - start )) s"

xvfb_pid=""
cleanup() {
    WINEPREFIX="$root/build/win32/wineprefix" wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# One display for the whole Win32 run (windows are created headless).
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 50 99); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
        if kill -0 "$xvfb_pid" 2>/dev/null; then export DISPLAY=":$n"; break; fi
        xvfb_pid=""
    done
fi

rc=0
for preset in host win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
ctest --preset host || rc=1
ctest --preset win32 || rc=1
exit $rc
