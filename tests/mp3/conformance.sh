#!/usr/bin/env bash
# Decodes the standard's compliance streams with mp3decode and compares each with
# its reference output: PSNR >= 96 dB over the compared samples.
#
#   conformance.sh STREAM_DIR MP3DECODE [ARGS...]
#
# MP3DECODE [ARGS...] is the command to run, before the input and output names (a
# Win32 build: the Wine runner, mp3decode.exe, and options such as --kernels).
#
# The references give each frame its own channel count; our output keeps one
# layout for the whole stream (two channels as soon as the stream holds a
# two-channel frame), so mono reference frames are duplicated into both channels
# before comparing. Layer II references run past the last frame: the shorter
# length is compared.
set -uo pipefail
dir=$1
shift
decoder=("$@")
if [ ! -f "$dir/l3-si_block.bit" ]; then
    echo "SKIPPED: no compliance streams in '$dir' (set MP3_CONFORMANCE_DIR)"
    exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for name in l2-fl10 l3-he_mode l3-si_block l3-test45; do
    if ! "${decoder[@]}" "$dir/$name.bit" "$work/$name.raw"; then
        echo "FAIL $name: mp3decode failed"
        failed=1
        continue
    fi
    python3 - "$dir/$name.bit" "$dir/$name.pcm" "$work/$name.raw" <<'PY' || failed=1
import array, math, sys
bit, ref_name, test_name = sys.argv[1:]
data = open(bit, "rb").read()
ref = array.array("h", open(ref_name, "rb").read())
test = array.array("h", open(test_name, "rb").read())
if sys.byteorder != "little":
    ref.byteswap(); test.byteswap()

# Per frame: (samples per channel, channels), walking the headers.
BITRATES = {  # [mpeg1][layer] kbit/s by index
    (1, 2): [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384],
    (1, 3): [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
    (0, 2): [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160],
    (0, 3): [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160],
}
RATES = {1: [44100, 48000, 32000], 0: [22050, 24000, 16000]}
frames = []
pos = 0
while pos + 4 <= len(data):
    if data[pos] != 0xFF or data[pos + 1] & 0xF0 != 0xF0:
        pos += 1
        continue
    mpeg1 = (data[pos + 1] >> 3) & 1
    layer = 4 - ((data[pos + 1] >> 1) & 3)
    kbps = BITRATES[(mpeg1, layer)][data[pos + 2] >> 4]
    rate = RATES[mpeg1][(data[pos + 2] >> 2) & 3]
    pad = (data[pos + 2] >> 1) & 1
    channels = 1 if data[pos + 3] >> 6 == 3 else 2
    samples = 1152 if layer == 2 or mpeg1 else 576
    per = 144 if layer == 2 or mpeg1 else 72
    frames.append((samples, channels))
    pos += per * kbps * 1000 // rate + pad

out_channels = 2 if any(c == 2 for _, c in frames) else 1
expanded = array.array("h")
at = 0
for samples, channels in frames:
    chunk = ref[at:at + samples * channels]
    at += samples * channels
    if channels == out_channels:
        expanded.extend(chunk)
    else:
        for v in chunk:
            expanded.append(v)
            expanded.append(v)
expanded.extend(ref[at:])  # reference padding past the last frame
n = min(len(test), len(expanded))
if n == 0:
    print("FAIL %s: nothing to compare" % bit)
    sys.exit(1)
sq = 0
worst = 0
for a, b in zip(test[:n], expanded[:n]):
    d = a - b
    sq += d * d
    worst = max(worst, abs(d))
psnr = 10 * math.log10(32767.0 ** 2 / (sq / n)) if sq else float("inf")
# Every frame of the stream must come out (a lost frame also shifts what follows).
expected = sum(samples for samples, _ in frames) * out_channels
ok = psnr >= 96 and len(test) >= expected
print("%s %s: psnr %.2f dB, max diff %d, %d samples (%d frames: %d), reference %d" %
      ("ok  " if ok else "FAIL", bit.rsplit("/", 1)[-1], psnr, worst, len(test), len(frames),
       expected, len(expanded)))
sys.exit(0 if ok else 1)
PY
done
exit $failed
