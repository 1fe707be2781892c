#!/usr/bin/env bash
# Builds the decoder test corpus with Debian's encoders: lame (Layer III, MPEG-1,
# MPEG-2 and MPEG-2.5) and twolame (Layer II), from signals made by sox.
#
#   scripts/build-mp3-corpus.sh OUTDIR [SECONDS]
#
# Writes OUTDIR/*.mp3, OUTDIR/damaged (below) and OUTDIR/manifest: one line per
# file, "NAME CHANNELS SKIP",
# where SKIP is the number of sample frames our decoder puts before the reference's
# first sample: LAME writes an Info/Xing frame that the reference decoder (mpg123)
# drops and that the player plays as one frame of silence (1,152 samples for MPEG-1,
# 576 for MPEG-2/2.5). LAME leaves that frame out when it does not fit (low-rate
# mono frames) and with -t.
#
# OUTDIR/damaged lists streams made by damaging a corpus file, "NAME BASE": they
# must decode to as many samples as BASE and never louder than BASE (junk between
# frames, a frame whose side information is garbage).
set -euo pipefail
out=${1:?usage: build-mp3-corpus.sh OUTDIR [SECONDS]}
secs=${2:-3}
mkdir -p "$out/src"
cd "$out"

# Sources: music-like (sweeps, tones, pink noise), transients (noise bursts over a
# tone: short blocks), speech-like (a pulsed buzz through formant-ish filters).
sox -n -r 44100 -c 2 src/a.wav synth "$secs" sine 100-9000 sine 12000-300 gain -8
sox -n -r 44100 -c 2 src/b.wav synth "$secs" pinknoise gain -16
sox -n -r 44100 -c 2 src/c.wav synth "$secs" sine 440 sine 660 tremolo 3 90 gain -10
sox -m src/a.wav src/b.wav src/c.wav src/music44.wav
sox -n -r 44100 -c 2 src/burst.wav synth 0.004 whitenoise gain -2 pad 0 0.09 repeat $((secs * 11))
sox src/burst.wav src/burst2.wav trim 0 "$secs"
sox -n -r 44100 -c 2 src/low.wav synth "$secs" sine 220 gain -14
sox -m src/burst2.wav src/low.wav src/transients44.wav
sox -n -r 44100 -c 1 src/speech44.wav synth "$secs" sawtooth 130 tremolo 5 80 \
    bandpass 700 300h bandpass 1200 500h gain -3
# Full-scale square waves: the decoded overshoot must be clamped, not wrapped.
sox -n -r 44100 -c 2 src/loud44.wav synth "$secs" square 220 square 331 gain -0.5
for r in 48000 32000 24000 22050 16000 12000 11025 8000; do
    sox src/music44.wav -r $r src/music$r.wav
    sox src/speech44.wav -r $r src/speech$r.wav
done

manifest=()
l3() { # NAME CHANNELS SKIP SOURCE lame-options...
    local name=$1 ch=$2 skip=$3 src=$4
    shift 4
    lame --quiet --noreplaygain "$@" "src/$src.wav" "$name.mp3"
    manifest+=("$name $ch $skip")
}
l2() { # NAME CHANNELS SOURCE twolame-options...
    local name=$1 ch=$2 src=$3
    shift 3
    twolame --quiet "$@" "src/$src.wav" "$name.mp3"
    manifest+=("$name $ch 0")
}

# MPEG-1 Layer III
l3 l3-44k-128-joint 2 1152 music44 -b 128 -m j
l3 l3-48k-320-joint 2 1152 music48000 -b 320 -m j
l3 l3-32k-96-stereo 2 1152 music32000 -b 96 -m s
l3 l3-44k-160-midside 2 1152 music44 -b 160 -m f
l3 l3-44k-64-mono 1 1152 speech44 -b 64 -m m
l3 l3-44k-vbr-v2 2 1152 music44 -V 2
l3 l3-44k-vbr-v7-mono 1 1152 speech44 -V 7 -m m
l3 l3-44k-128-crc 2 1152 music44 -b 128 -p
l3 l3-44k-free-320 2 0 music44 --freeformat -b 320 -t
l3 l3-48k-free-96-mono 1 0 speech48000 --freeformat -b 96 -m m -t
l3 l3-44k-128-transients 2 1152 transients44 -b 128
l3 l3-44k-64-transients-mono 1 1152 transients44 -b 64 -m m
l3 l3-44k-192-clipping 2 1152 loud44 -b 192 -m j
# MPEG-2 and MPEG-2.5 Layer III (the speech services' formats among them)
l3 l3-22k-32-mono 1 0 speech22050 -b 32 -m m
l3 l3-22k-64-mono 1 576 speech22050 -b 64 -m m
l3 l3-24k-48-mono 1 0 speech24000 -b 48 -m m
l3 l3-22k-vbr-v5-mono 1 576 speech22050 -V 5 -m m
l3 l3-24k-96-joint 2 576 music24000 -b 96 -m j
l3 l3-16k-64-stereo 2 576 music16000 -b 64 -m s
l3 l3-16k-free-48-mono 1 0 speech16000 --freeformat -b 48 -m m -t
l3 l3-11k-32-joint 2 576 music11025 -b 32 -m j
l3 l3-12k-24-mono 1 0 speech12000 -b 24 -m m
l3 l3-8k-16-mono 1 0 speech8000 -b 16 -m m
l3 l3-8k-64-stereo 2 576 music8000 -b 64 -m s
l3 l3-22k-32-transients 2 0 transients44 -b 32 --resample 22.05
# Tags
l3 l3-id3v1 2 1152 music44 -b 128 --id3v1-only --tt "Title" --ta "Artist"
l3 l3-id3v23 2 1152 music44 -b 128 --id3v2-only --tt "Title" --ta "Artist" --pad-id3v2-size 300
l3 l3-id3-both-22k 1 576 speech22050 -b 64 -m m --add-id3v2 --tt "Title"

# An ID3 v2.4 tag (not skipped: the frame search passes over it) and a v2.3 tag
# with an extended header, put in front of a tagless file.
python3 - <<'PY'
import struct
def synchsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])
body = open("l3-44k-128-joint.mp3", "rb").read()
text = b"\x03" + "Title with text".encode()
frame24 = b"TIT2" + synchsafe(len(text)) + b"\x00\x00" + text
tag24 = frame24 + b"\x00" * 200
open("l3-id3v24.mp3", "wb").write(b"ID3\x04\x00\x00" + synchsafe(len(tag24)) + tag24 + body)
text3 = b"\x00Title"
frame23 = b"TIT2" + struct.pack(">I", len(text3)) + b"\x00\x00" + text3
ext = struct.pack(">I", 6) + b"\x00\x00" + struct.pack(">I", 64)  # 64 bytes of padding
tag23 = ext + frame23 + b"\x00" * 64
open("l3-id3v23-extended.mp3", "wb").write(b"ID3\x03\x00\x40" + synchsafe(len(tag23)) + tag23 + body)
PY
manifest+=("l3-id3v24 2 1152" "l3-id3v23-extended 2 1152")

# Layer II, MPEG-1 (tables B.2a-d) and MPEG-2
l2 l2-48k-192-stereo 2 music48000 -b 192 -m s
l2 l2-44k-192-joint 2 music44 -b 192 -m j
l2 l2-44k-128-stereo 2 music44 -b 128 -m s
l2 l2-44k-384-stereo 2 music44 -b 384 -m s
l2 l2-32k-64-stereo 2 music32000 -b 64 -m s
l2 l2-44k-32-mono 1 speech44 -b 32 -m m
l2 l2-32k-48-mono 1 speech32000 -b 48 -m m
l2 l2-48k-56-mono 1 speech48000 -b 56 -m m
l2 l2-44k-192-crc 2 music44 -b 192 -p
l2 l2-22k-64-stereo 2 music22050 -b 64 -m s
l2 l2-24k-32-mono 1 speech24000 -b 32 -m m
l2 l2-16k-96-joint 2 music16000 -b 96 -m j
l2 l2-44k-256-clipping 2 loud44 -b 256 -m s

# Frames longer than 1,440 bytes: Layer II at 384 kbit/s and free-format Layer III
# at 400 and 640 kbit/s, all at 32 kHz.
l2 l2-32k-384-stereo 2 music32000 -b 384 -m s
l3 l3-32k-free-400 2 0 music32000 --freeformat -b 400 -t
l3 l3-32k-free-640 2 0 music32000 --freeformat -b 640 -t

# ID3v2.2, 2.3 and 2.4 tags (2.4 with a footer) carrying a 300 KB picture of noise,
# full of false syncs; the stream behind them must play whole.
python3 - <<'PY'
import random, struct
def synchsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])
body = open("l3-44k-128-joint.mp3", "rb").read()
rng = random.Random(11)
picture = bytes(rng.randrange(256) for _ in range(300 * 1024))
pic22 = b"\x00JPG\x03\x00" + picture
frame22 = b"PIC" + struct.pack(">I", len(pic22))[1:] + pic22
pic = b"\x00image/jpeg\x00\x03\x00" + picture
frame23 = b"APIC" + struct.pack(">I", len(pic)) + b"\x00\x00" + pic
frame24 = b"APIC" + synchsafe(len(pic)) + b"\x00\x00" + pic
for name, version, flags, frames, footer in (("l3-id3v22-picture", 2, 0, frame22, False),
                                             ("l3-id3v23-picture", 3, 0, frame23, False),
                                             ("l3-id3v24-picture", 4, 0x10, frame24, True)):
    head = b"ID3" + bytes([version, 0, flags]) + synchsafe(len(frames))
    tail = b"3DI" + bytes([version, 0, flags]) + synchsafe(len(frames)) if footer else b""
    open(name + ".mp3", "wb").write(head + frames + tail + body)

# Damaged streams: junk between frames (1, 37 and 500 bytes), and one frame whose
# side information is overwritten.
def frames(data):
    rates = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
    pos, out = 0, []
    while pos + 4 <= len(data) and data[pos] == 0xFF:
        length = 144000 * rates[data[pos + 2] >> 4] // 44100 + ((data[pos + 2] >> 1) & 1)
        out.append(data[pos:pos + length])
        pos += length
    return out
f = frames(body)
n = len(f)
junk = lambda size: bytes(rng.randrange(0, 0xFF) for _ in range(size))
cuts = [n // 5, 2 * n // 5, 3 * n // 5]
out = b"".join(f[:cuts[0]]) + junk(1) + b"".join(f[cuts[0]:cuts[1]]) + junk(37) + \
      b"".join(f[cuts[1]:cuts[2]]) + junk(500) + b"".join(f[cuts[2]:])
open("l3-junk.mp3", "wb").write(out)
bad = bytearray(f[n // 2])
bad[4:36] = b"\xff" * 32
open("l3-bad-side-info.mp3", "wb").write(b"".join(f[:n // 2]) + bytes(bad) + b"".join(f[n // 2 + 1:]))
PY
manifest+=("l3-id3v22-picture 2 1152" "l3-id3v23-picture 2 1152" "l3-id3v24-picture 2 1152")
printf '%s\n' "l3-junk l3-44k-128-joint" "l3-bad-side-info l3-44k-128-joint" > damaged

printf '%s\n' "${manifest[@]}" > manifest
echo "corpus: $(wc -l < manifest) files in $out"
