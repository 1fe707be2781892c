#!/usr/bin/env bash
# Builds the MP3 files the player's tests play, with sox and lame:
#   scripts/make-player-fixtures.sh OUTDIR
# s44.mp3    MPEG-1 Layer III, 44.1 kHz stereo, 1.5 s
# m22.mp3    MPEG-2 Layer III, 22,050 Hz mono, 32 kbit/s (what the speech service makes)
# m8.mp3     MPEG-2.5 Layer III, 8 kHz mono
# long.mp3   MPEG-1 Layer III, 44.1 kHz stereo, 8 s
# l2.mp3     MPEG-1 Layer II, 44.1 kHz stereo (twolame), 1 s
# s22.mp3    MPEG-2 Layer III, 22,050 Hz stereo, 0.8 s
set -euo pipefail
out=${1:?usage: make-player-fixtures.sh OUTDIR}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sox -n -r 44100 -c 2 "$tmp/s44.wav" synth 1.5 sine 300-3000 sine 500 gain -6
sox -n -r 44100 -c 2 "$tmp/long.wav" synth 8 sine 200-2000 sine 700 tremolo 4 60 gain -6
sox -n -r 22050 -c 1 "$tmp/m22.wav" synth 1.2 sawtooth 140 tremolo 5 80 gain -6
sox -n -r 8000 -c 1 "$tmp/m8.wav" synth 1.2 sine 300 tremolo 3 50 gain -6
sox -n -r 22050 -c 2 "$tmp/s22.wav" synth 0.8 sine 250 sine 900 gain -6
sox -n -r 44100 -c 2 "$tmp/l2.wav" synth 1 sine 440 sine 660 gain -8
lame --quiet --noreplaygain -b 128 "$tmp/s44.wav" "$out/s44.mp3.new"
lame --quiet --noreplaygain -b 64 "$tmp/long.wav" "$out/long.mp3.new"
lame --quiet --noreplaygain -b 32 -m m "$tmp/m22.wav" "$out/m22.mp3.new"
lame --quiet --noreplaygain -b 16 -m m "$tmp/m8.wav" "$out/m8.mp3.new"
twolame --quiet -b 192 "$tmp/l2.wav" "$out/l2.mp3.new"
lame --quiet --noreplaygain -b 48 "$tmp/s22.wav" "$out/s22.mp3.new"
for f in s44 long m22 m8 l2 s22; do mv "$out/$f.mp3.new" "$out/$f.mp3"; done
