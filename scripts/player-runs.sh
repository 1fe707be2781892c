#!/usr/bin/env bash
# The player's long runs, outside the default test suite:
#   scripts/player-runs.sh soak [CYCLES]   200 (or CYCLES) create/play/replace/remove
#                                          cycles in one process; handles, threads and
#                                          private bytes must stay flat
#   scripts/player-runs.sh bench           CPU use while playing a minute of 44.1 kHz
#                                          stereo (CPU time per second of audio) and the
#                                          time from the play command to the first block
#                                          handed to the device
# Needs a built win32 preset. Runs under Wine directly where this kernel can run
# 32-bit code, otherwise in the test machine (figures then marked as emulated).
# The wave-out device goes to ALSA's null plugin.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
mode=${1:?usage: player-runs.sh soak [CYCLES] | bench}
tree=$root/build/win32
exe=$tree/tests/player/player_bench.exe
fixtures=$tree/tests/player/fixtures
home=$tree/tests/player/runs-home
[ -f "$exe" ] || { echo "player-runs: build the win32 preset first" >&2; exit 2; }
mkdir -p "$home"
printf 'pcm.!default {\n    type null\n}\n' > "$home/.asoundrc"
case $mode in
    soak) args=(soak "$fixtures/s44.mp3" "${2:-200}") ;;
    bench)
        # A minute of 128 kbit/s 44.1 kHz stereo, made once beside the fixtures.
        long=$tree/tests/player/bench-60s.mp3
        if [ ! -f "$long" ]; then
            sox -n -r 44100 -c 2 -t wav - synth 60 sine 200-2000 sine 700 tremolo 4 60 gain -6 |
                lame --quiet --noreplaygain -b 128 - "$long.new"
            mv "$long.new" "$long"
        fi
        args=(bench "$long" 60) ;;
    *) echo "player-runs: unknown mode $mode" >&2; exit 2 ;;
esac
if cmake/can-run-win32; then
    HOME=$home cmake/wine-run "$exe" "${args[@]}"
else
    # As scripts/test-win32.sh does in the test machine: the prefix in memory.
    SPEECHTOOL_VM_MEM=${SPEECHTOOL_VM_MEM:-2560} cmake/win32-vm bash -c '
        export WINE_RUN_PREFIX=/tmp/wineprefix
        [ -f "$1/wineprefix.tar" ] && tar -C /tmp -xf "$1/wineprefix.tar"
        export HOME=$2
        shift 2
        cmake/wine-run "$@"' runs "$tree" "$home" "$exe" "${args[@]}"
fi
