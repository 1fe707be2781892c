#!/usr/bin/env bash
# What the system's wave-out device is given, captured through ALSA's file
# plugin, must equal mp3decode's output for the file, last frames included:
#   capture.sh WINE_RUN PLAYER_CAPTURE.exe MP3DECODE.exe FIXTURES WORKDIR
set -uo pipefail
wine_run=$1 player=$2 decoder=$3 fixtures=$4 work=$5
rm -rf "$work"
mkdir -p "$work/home"
export HOME="$work/home"
cat > "$HOME/.asoundrc" <<ASOUND
pcm.!default {
    type file
    slave.pcm "null"
    file "$work/captured.raw"
    format "raw"
}
ASOUND
rc=0
for name in s44 m22 m8; do
    rm -f "$work/captured.raw"
    if ! "$wine_run" "$player" "$fixtures/$name.mp3"; then
        echo "capture: $name: the player did not finish"; rc=1; continue
    fi
    "$wine_run" "$decoder" "$fixtures/$name.mp3" "$work/$name.ref.raw" || { rc=1; continue; }
    ref=$(stat -c %s "$work/$name.ref.raw")
    got=$(stat -c %s "$work/captured.raw" 2>/dev/null || echo 0)
    if cmp -s "$work/captured.raw" "$work/$name.ref.raw"; then
        echo "capture: $name: $got bytes, identical to mp3decode's"
    else
        echo "capture: $name: captured $got bytes, mp3decode $ref bytes: they differ"
        cmp "$work/captured.raw" "$work/$name.ref.raw" | head -1
        rc=1
    fi
done
exit $rc
