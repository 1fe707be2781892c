#!/usr/bin/env bash
# mp3decode's command line: messages and exit status for bad input, the WAV header,
# the --info fields, the builds of the kernels giving the same bytes, --time.
#
#   cli.sh MP3DECODE WORKDIR
set -uo pipefail
decoder=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work"
failed=0
check() { # DESCRIPTION EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAIL $1: expected '$2', got '$3'"
        failed=1
    fi
}

"$decoder" missing.mp3 out.raw 2>err; check "missing input status" 1 $?
grep -q "no such file" err; check "missing input message" 0 $?
echo "just some text, no audio" > text.txt
"$decoder" text.txt out.raw 2>err; check "non-MP3 status" 1 $?
grep -q "no MPEG audio" err; check "non-MP3 message" 0 $?
"$decoder" 2>/dev/null; check "usage status" 2 $?

sox -n -r 22050 -c 1 tone.wav synth 2 sine 440 gain -6
lame --quiet -b 32 -m m tone.wav tone.mp3
"$decoder" --wav tone.mp3 out.wav; check "wav status" 0 $?
"$decoder" tone.mp3 out.raw; check "raw status" 0 $?
raw=$(stat -c %s out.raw)
check "wav = header + raw" $((raw + 44)) "$(stat -c %s out.wav)"
check "wav header" "WAVE 22050 1 $raw" \
    "$(python3 -c "import struct,sys; d=open('out.wav','rb').read(44); print(d[8:12].decode(), struct.unpack('<I',d[24:28])[0], struct.unpack('<H',d[22:24])[0], struct.unpack('<I',d[40:44])[0])")"
info=$("$decoder" --info tone.mp3)
check "info version" "version: MPEG-2" "$(grep version <<<"$info")"
check "info layer" "layer: III" "$(grep layer <<<"$info")"
check "info rate" "sample rate: 22050 Hz" "$(grep 'sample rate' <<<"$info")"
check "info channels" "channels: 1" "$(grep channels <<<"$info")"
check "info frames" "frames: $((raw / 2 / 576))" "$(grep frames <<<"$info")"
# Every build of the kernels this machine runs writes the same bytes (the same
# operations in the same order on every lane); one it lacks is a usage error.
sox -n -r 44100 -c 2 mix.wav synth 3 sine 300-5000 pinknoise gain -10
lame --quiet -b 128 -m j mix.wav mix.mp3
"$decoder" mix.mp3 best.raw
for k in baseline sse2 avx; do
    if "$decoder" --kernels "$k" mix.mp3 "$k.raw" 2>/dev/null; then
        cmp -s best.raw "$k.raw"; check "$k kernels give the same bytes" 0 $?
    else
        check "$k kernels missing only as a usage error" 2 $?
    fi
done
# --time with --repeat: the output written once, as without it, and one line of
# times whose CPU time covers the passes (three decodes of 3 s of audio).
"$decoder" --time --repeat 3 --kernels baseline mix.mp3 timed.raw 2>err
check "timed status" 0 $?
cmp -s best.raw timed.raw; check "timed output as untimed" 0 $?
check "one time line" 1 "$(grep -c '^decode time: [0-9.]* s wall, [0-9.]* s cpu, fastest pass [0-9.]* s wall, kernels baseline$' err)"
check "cpu time above zero" 1 "$(awk '/^decode time/ { print ($6 > 0) }' err)"
# The fastest pass is one of the two after the first: above zero, at most half the sum.
check "fastest pass within the passes" 1 "$(awk '/^decode time/ { print ($11 > 0 && 2 * $11 <= $3) }' err)"
"$decoder" --time --repeat 0 mix.mp3 timed.raw 2>/dev/null; check "repeat 0 is a usage error" 2 $?
"$decoder" --kernels none mix.mp3 none.raw 2>err; check "unknown kernels status" 2 $?
grep -q "no none build" err; check "unknown kernels message" 0 $?
exit $failed
