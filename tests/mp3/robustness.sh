#!/usr/bin/env bash
# Feeds mp3decode damaged input: truncated, zero-filled, random and bit-flipped
# files. It must end within its time limit with status 0 (decoded) or 1 (reported),
# never by a signal or a sanitizer report.
#
#   robustness.sh MP3DECODE WORKDIR
set -uo pipefail
decoder=$1
work=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work/in"
"$root/scripts/build-mp3-corpus.sh" "$work/corpus" 1 >/dev/null 2>&1 || { echo "corpus build failed"; exit 1; }

python3 - "$work/corpus" "$work/in" <<'PY'
import os, random, sys
src, dst = sys.argv[1], sys.argv[2]
names = ["l3-44k-128-joint", "l3-22k-32-mono", "l3-8k-64-stereo", "l3-44k-free-320",
         "l3-44k-vbr-v2", "l3-id3v23", "l2-44k-192-joint", "l2-24k-32-mono"]
rng = random.Random(4)
def put(name, data):
    open(os.path.join(dst, name), "wb").write(data)
for n in names:
    data = open(os.path.join(src, n + ".mp3"), "rb").read()
    for cut in (3, 4, 417, 1441, 4322, 4323, len(data) // 2, len(data) - 1):
        put("%s.cut%d" % (n, cut), data[:cut])
    put(n + ".zeromiddle", data[:len(data) // 3] + bytes(len(data) // 3) + data[2 * len(data) // 3:])
    for k, rate in enumerate((0.001, 0.01, 0.05)):
        b = bytearray(data)
        for _ in range(max(1, int(len(b) * 8 * rate))):
            i = rng.randrange(len(b) * 8)
            b[i // 8] ^= 1 << (i % 8)
        put("%s.flip%d" % (n, k), bytes(b))
    # Every byte after the first header of each frame-sized stretch randomised:
    # headers stay valid, side information and main data are noise.
    b = bytearray(data)
    for i in range(len(b)):
        if not (b[i] == 0xFF and i + 1 < len(b) and b[i + 1] & 0xE0 == 0xE0):
            if rng.random() < 0.3:
                b[i] = rng.randrange(256)
    put(n + ".noise", bytes(b))
put("empty", b"")
put("zeros", bytes(20000))
put("ff", b"\xff" * 20000)
for k in range(8):
    put("random%d" % k, bytes(rng.randrange(256) for _ in range(rng.randrange(1, 30000))))
# Streams of random headers: sync plus random fields and payload.
for k in range(8):
    out = bytearray()
    while len(out) < 20000:
        out += bytes([0xFF, rng.choice([0xE2, 0xE3, 0xF2, 0xF3, 0xFA, 0xFB, 0xFC, 0xFD]), rng.randrange(256), rng.randrange(256)])
        out += bytes(rng.randrange(256) for _ in range(rng.randrange(20, 1500)))
    put("headers%d" % k, bytes(out))
PY

export ASAN_OPTIONS=exitcode=86:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:exitcode=86:print_stacktrace=1
failed=0
count=0
for f in "$work"/in/*; do
    count=$((count + 1))
    timeout 20 "$decoder" "$f" "$work/out.raw" 2>"$work/err"
    rc=$?
    if [ $rc -gt 1 ] || grep -q -E 'runtime error|Sanitizer' "$work/err"; then
        echo "FAIL $(basename "$f"): status $rc"
        head -20 "$work/err"
        failed=1
    fi
done
echo "robustness: $count inputs, $([ $failed = 0 ] && echo 'no failure' || echo 'FAILURES')"
exit $failed
