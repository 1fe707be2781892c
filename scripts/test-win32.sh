#!/usr/bin/env bash
# Runs the Win32 test suite (ctest preset win32) on a machine that can run
# 32-bit code under Wine: one display and one persistent wineserver for the
# whole run, so each test pays only for its own process.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# The web-access, synthesis and end-to-end tests start the local speech
# service of the host build: build it when it is missing or stale (the test
# machine runs this on the host's tree, built before it boots).
if [ -z "${SPEECHTOOL_IN_VM:-}" ]; then
    if [ ! -f build/host/CMakeCache.txt ]; then
        cmake --preset host >/dev/null || exit 1
    fi
    cmake --build --preset host --target speech-service >/dev/null || {
        echo "test-win32: the speech service (host build) did not build" >&2
        exit 1
    }
fi
export WINE_RUN_PREFIX="$root/build/win32/wineprefix"
archive="$root/build/win32/wineprefix.tar"
if [ -n "${SPEECHTOOL_IN_VM:-}" ]; then
    # In the test machine the prefix must not live on the shared tree (Wine
    # cannot map the images it wrote there): keep it in memory, and between
    # runs as an archive in the build tree.
    export WINE_RUN_PREFIX=/tmp/wineprefix
    [ -f "$archive" ] && tar -C /tmp -xf "$archive"
fi
export WINEPREFIX="$WINE_RUN_PREFIX" WINEARCH=win32 WINEDEBUG=-all
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8

# Wine's desktop, started once below for the whole run, needs the display up.
source scripts/lib/wine-session.sh
st_virtual_display 50 99 || true

# Prefix (first run only), then a server that stays up between the tests,
# with Wine's system processes already running before the first test.
cmake/wine-run cmd /c exit 0 >/dev/null 2>&1
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
# The archive is made again when the prefix changed since (its desktop set):
# the desktop's name is kept beside it.
if [ -n "${SPEECHTOOL_IN_VM:-}" ] &&
   { [ ! -f "$archive" ] ||
     ! cmp -s "$WINE_RUN_PREFIX/.desktop" "$archive.desktop"; }; then
    tar -C /tmp -cf "$archive.new" wineprefix && mv "$archive.new" "$archive" &&
        cp "$WINE_RUN_PREFIX/.desktop" "$archive.desktop"
fi
wineserver -p >/dev/null 2>&1
wine cmd /c exit 0 >/dev/null 2>&1 </dev/null

# Tests labelled slow (minutes in an emulated machine) run only when asked.
exclude=(-LE slow)
[ -n "${SPEECHTOOL_SLOW_TESTS:-}" ] && exclude=()
ctest --preset win32 "${exclude[@]}" "$@"
rc=$?

wineserver -k >/dev/null 2>&1
st_stop_display
exit $rc
