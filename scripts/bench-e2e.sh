#!/usr/bin/env bash
# The tool's own speed, outside the test suite:
#   scripts/bench-e2e.sh [COUNT]
# - per synthesis, the tool's own time beyond the speech service's: COUNT
#   whole requests as the tool makes them (page, address, download, file),
#   against the local speech service with a text it has already made, minus
#   the same two transfers made with WinINet alone (target: under 20 ms);
# - from the play command to the first block handed to the sound device
#   (the player's own benchmark; target: under 50 ms).
# Needs both presets built. Runs under Wine directly where this kernel can run
# 32-bit code, otherwise in the test machine: the figures are then emulated,
# and say so.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/lib/wine-session.sh
count=${1:-20}
bench=$root/build/win32/tests/e2e/synthesis_bench.exe
for f in "$bench" "$st_service_program"; do
    [ -x "$f" ] || [ -f "$f" ] || { echo "bench-e2e: $f is missing: build both presets first" >&2; exit 2; }
done

if [ -z "${SPEECHTOOL_IN_VM:-}" ] && ! cmake/can-run-win32; then
    echo "bench-e2e: this kernel cannot run 32-bit code: measuring in the test machine (EMULATED figures)"
    exec cmake/win32-vm scripts/bench-e2e.sh "$count"
fi
where="natively under Wine"
[ -n "${SPEECHTOOL_IN_VM:-}" ] && where="EMULATED (test machine): not comparable with the targets"

work=$(mktemp -d "$root/build/bench-e2e.XXXXXX")
trap 'st_stop_service; rm -rf "$work"' EXIT
st_start_service 0 "$work/service.out" --cache "$work/cache" ||
    { echo "bench-e2e: the speech service did not start" >&2; exit 1; }
port=$st_service_port

# A copy of the program in a folder of its own: its audio folder and settings stay there.
cp "$bench" "$work/"
echo "bench-e2e: $where"
(st_sound_home "$work/home" && cmake/wine-run "$work/synthesis_bench.exe" "$port" "$count")
if [ -f build/win32/tests/player/player_bench.exe ]; then
    echo "bench-e2e: the play command to the first block at the device (the player's benchmark):"
    scripts/player-runs.sh bench | grep -i "first block" || true
fi
