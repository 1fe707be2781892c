#!/usr/bin/env bash
# Compares the speed of the native mp3decode with mpg123 (default decoder and
# --cpu generic) on the same 60-second files in the same run: runs alternate
# between the decoders, and medians are compared.
#
#   scripts/bench-mp3.sh [RUNS]      default 15 runs per decoder and file
#
# Prints per file the x-realtime of each decoder (audio seconds per second of
# wall-clock time, and per second of CPU time) and our speed relative to each
# mpg123 decoder (above 1 = faster), then the geometric means of those ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-15}
cmake --preset host >/dev/null
cmake --build --preset host --target mp3decode >/dev/null
decoder=$(pwd)/build/host/tools/mp3decode/mp3decode
dir=build/bench-mp3
mkdir -p "$dir"
cd "$dir"

if [ ! -f .done ]; then
    sox -n -r 44100 -c 2 a.wav synth 60 sine 100-9000 sine 12000-300 gain -8
    sox -n -r 44100 -c 2 b.wav synth 60 pinknoise gain -16
    sox -n -r 44100 -c 2 c.wav synth 60 sine 440 sine 660 tremolo 3 90 gain -10
    sox -m a.wav b.wav c.wav music.wav
    sox -n -r 44100 -c 1 speech.wav synth 60 sawtooth 130 tremolo 5 80 \
        bandpass 700 300h bandpass 1200 500h gain -3
    sox speech.wav -r 22050 speech22.wav
    sox speech.wav -r 8000 speech8.wav
    lame --quiet -b 128 -m s music.wav l3-128-stereo.mp3
    lame --quiet -b 320 -m j music.wav l3-320-joint.mp3
    lame --quiet -V 2 music.wav l3-vbr-v2.mp3
    lame --quiet -b 32 -m m speech22.wav l3-mpeg2-22k-mono.mp3
    lame --quiet -b 16 -m m speech8.wav l3-mpeg25-8k-mono.mp3
    twolame --quiet -b 192 music.wav l2-192-stereo.mp3
    rm -f a.wav b.wav c.wav
    touch .done
fi

python3 - "$decoder" "$runs" <<'PY'
import math, os, resource, statistics, subprocess, sys, time
decoder, runs = sys.argv[1], int(sys.argv[2])
files = ["l3-128-stereo", "l3-320-joint", "l3-vbr-v2", "l3-mpeg2-22k-mono",
         "l3-mpeg25-8k-mono", "l2-192-stereo"]
devnull = open(os.devnull, "wb")
def commands(f):
    return {
        "ours": [decoder, f + ".mp3", os.devnull],
        "mpg123": ["mpg123", "-q", "--no-gapless", "-s", f + ".mp3"],
        "generic": ["mpg123", "--cpu", "generic", "-q", "--no-gapless", "-s", f + ".mp3"],
    }
def run(cmd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.perf_counter()
    subprocess.run(cmd, stdout=devnull, check=True)
    wall = time.perf_counter() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu
names = ["ours", "mpg123", "generic"]
ratios = {"mpg123": ([], []), "generic": ([], [])}
print("%-20s %-8s %12s %12s" % ("file", "decoder", "x-rt wall", "x-rt cpu"))
for f in files:
    # Duration from our own decode (samples / rate / channels).
    out = subprocess.run([decoder, "--info", f + ".mp3"], capture_output=True, text=True).stdout
    info = dict(line.split(": ", 1) for line in out.strip().splitlines())
    seconds = float(info["duration"].split()[0])
    cmds = commands(f)
    times = {n: ([], []) for n in names}
    for i in range(runs):
        order = names[i % 3:] + names[:i % 3]  # rotate who goes first
        for n in order:
            w, c = run(cmds[n])
            times[n][0].append(w)
            times[n][1].append(c)
    med = {n: (statistics.median(times[n][0]), statistics.median(times[n][1])) for n in names}
    for n in names:
        print("%-20s %-8s %12.1f %12.1f" % (f, n, seconds / med[n][0], seconds / max(med[n][1], 1e-6)))
    for other in ("mpg123", "generic"):
        rw = med[other][0] / med["ours"][0]
        rc = med[other][1] / max(med["ours"][1], 1e-6)
        ratios[other][0].append(rw)
        ratios[other][1].append(rc)
        print("%-20s ours vs %-8s speed ratio: wall %.2f, cpu %.2f" % (f, other, rw, rc))
def gmean(v):
    return math.exp(sum(math.log(x) for x in v) / len(v))
print()
for other in ("mpg123", "generic"):
    print("geometric mean, ours vs %-8s: wall %.2f, cpu %.2f" %
          (other + (" (default)" if other == "mpg123" else " (--cpu generic)"),
           gmean(ratios[other][0]), gmean(ratios[other][1])))
PY
