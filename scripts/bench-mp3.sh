#!/usr/bin/env bash
# Compares the CPU time of the native mp3decode with mpg123 (its default decoder
# and --cpu generic) and ffmpeg on the same files in the same run: runs rotate
# between the decoders, medians are compared. Layer II and Layer III are reported
# apart, over 60-s and 300-s files.
#
#   scripts/bench-mp3.sh [RUNS]        default 5 runs per decoder and file
#   scripts/bench-mp3.sh win32 [RUNS]  the Win32 mp3decode.exe under Wine against the
#                                      native build, both with the SSE2 kernels
#
# The win32 mode wants a kernel that runs 32-bit code (Wine then runs natively; the
# emulated test machine says nothing about speed) and a configured win32 preset.
# Both decoders time their own decoding loop (mp3decode --time: start-up and file
# opening excluded), each file decoded in one process often enough for about a
# second of CPU time (Wine counts CPU time in 10-ms ticks); runs alternate between
# the two. Other load on the machine (another build, a test suite, other guests on
# the same host) only ever adds time, never takes it away, and on a shared machine
# it comes and goes within seconds: the same native run varies by half from one
# run to the next. So the headline figure compares the fastest single pass each
# decoder made over all its runs (wall time of a pass that wrote nothing, measured
# with the precise clock: many samples each, and the least disturbed of them is the
# closest to the decoder's own cost). Beside it: the same from the fastest run's
# CPU time and from the median runs' CPU time, and the spread of the per-run CPU
# shares (how loaded the machine was). A share is the Win32 speed as a share of
# native (1.00 = as fast; below 0.87 is more than 15 % slower). Per layer it prints
# the geometric means.
# In either mode BENCH_MP3_ONLY=REGEX limits the run to the files whose names match.
#
# Prints per file the x-realtime of each decoder (audio seconds per CPU second)
# and its peak memory (maximum resident set, from GNU time), our speed relative
# to each peer (above 1 = we are faster), then per layer the geometric means of
# those ratios.
# Not part of the test suite: it takes minutes and wants an idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=native
if [ "${1:-}" = win32 ]; then
    mode=win32
    shift
fi
runs=${1:-5}

# The bench's own prerequisites (the peers, the encoders of its files, GNU time),
# installed here rather than by scripts/setup.sh: the tests need no ffmpeg.
need=()
for p in mpg123 lame twolame sox ffmpeg time; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" != 0 ] && sudo="sudo"
    echo "bench-mp3: installing ${need[*]}"
    $sudo apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
cmake --preset host >/dev/null
cmake --build --preset host --target mp3decode >/dev/null
decoder=$(pwd)/build/host/tools/mp3decode/mp3decode
if [ $mode = win32 ]; then
    [ -f build/win32/CMakeCache.txt ] || { echo "bench-mp3: configure the win32 preset first" >&2; exit 2; }
    cmake/can-run-win32 || { echo "bench-mp3: this kernel cannot run 32-bit code" >&2; exit 2; }
    cmake --build --preset win32 --target mp3decode >/dev/null
    wine_run=$(pwd)/cmake/wine-run
    decoder32=$(pwd)/build/win32/tools/mp3decode/mp3decode.exe
fi
dir=build/bench-mp3
mkdir -p "$dir"
cd "$dir"

if [ ! -f .done-2 ]; then
    for secs in 60 300; do
        sox -n -r 44100 -c 2 a.wav synth $secs sine 100-9000 sine 12000-300 gain -8
        sox -n -r 44100 -c 2 b.wav synth $secs pinknoise gain -16
        sox -n -r 44100 -c 2 c.wav synth $secs sine 440 sine 660 tremolo 3 90 gain -10
        sox -m a.wav b.wav c.wav music.wav
        sox -n -r 44100 -c 1 speech.wav synth $secs sawtooth 130 tremolo 5 80 \
            bandpass 700 300h bandpass 1200 500h gain -3
        sox speech.wav -r 22050 speech22.wav
        lame --quiet -b 128 -m s music.wav l3-$secs-128-stereo.mp3
        lame --quiet -b 320 -m j music.wav l3-$secs-320-joint.mp3
        lame --quiet -V 2 music.wav l3-$secs-vbr-v2.mp3
        lame --quiet -b 32 -m m speech22.wav l3-$secs-mpeg2-22k-mono.mp3
        twolame --quiet -b 192 music.wav l2-$secs-192-stereo.mp3
        twolame --quiet -b 384 music.wav l2-$secs-384-stereo.mp3
        twolame --quiet -b 64 -m m speech.wav l2-$secs-64-mono.mp3
    done
    rm -f ./*.wav
    touch .done-2
fi

if [ $mode = win32 ]; then
    exec python3 - "$decoder" "$wine_run" "$decoder32" "$runs" <<'PY'
import math, os, statistics, subprocess, sys
import re
native, wine_run, win32, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
only = re.compile(os.environ.get("BENCH_MP3_ONLY", ""))
files = sorted(f[:-4] for f in os.listdir(".")
               if f.endswith(".mp3") and f.split("-")[1] in ("60", "300") and only.search(f))
def timed(cmd):
    p = subprocess.run(cmd, capture_output=True, text=True)
    # (Under Wine what the program writes to stderr may arrive on stdout.)
    line = [l for l in (p.stderr + p.stdout).splitlines() if l.startswith("decode time:")]
    if p.returncode != 0 or not line:
        sys.exit("failed: " + " ".join(cmd) + "\n" + p.stderr)
    # "decode time: W s wall, C s cpu, fastest pass P s wall, kernels K"
    fields = line[0].split()
    if fields[-1] != "sse2":
        sys.exit("not the SSE2 kernels: " + line[0])
    return float(fields[5]), float(fields[10])
def command(which, f, repeat):
    args = ["--time", "--repeat", str(repeat), "--kernels", "sse2", f + ".mp3"]
    if which == "native":
        return [native] + args + [os.devnull]
    return [wine_run, win32] + args + ["NUL"]
print("%-24s %7s %9s %9s %6s %9s %9s %13s" %
      ("file", "repeat", "native ms", "win32 ms", "share", "cpu share", "med share", "spread"))
shares = {}
cpu_shares = {}
median_shares = {}
for f in files:
    # About a second of CPU time per process.
    repeat = max(2, min(200, round(1.0 / max(timed(command("native", f, 1))[0], 1e-3))))
    times = {"native": [], "win32": []}
    passes = {"native": [], "win32": []}
    per_run = []
    for i in range(runs):
        order = ["native", "win32"] if i % 2 == 0 else ["win32", "native"]
        t = {w: timed(command(w, f, repeat)) for w in order}
        for w in order:
            times[w].append(t[w][0])
            passes[w].append(t[w][1])
        per_run.append(t["native"][0] / t["win32"][0])
    fastest = {w: min(v) for w, v in passes.items()}
    share = fastest["native"] / fastest["win32"]
    cpu_share = min(times["native"]) / min(times["win32"])
    med = {w: statistics.median(v) for w, v in times.items()}
    layer = f.split("-")[0].upper()
    shares.setdefault(layer, []).append(share)
    cpu_shares.setdefault(layer, []).append(cpu_share)
    median_shares.setdefault(layer, []).append(med["native"] / med["win32"])
    print("%-24s %7d %9.2f %9.2f %6.2f %9.2f %9.2f %6.2f-%.2f" %
          (f, repeat, 1000 * fastest["native"], 1000 * fastest["win32"], share, cpu_share,
           med["native"] / med["win32"], min(per_run), max(per_run)), flush=True)
def gmean(v):
    return math.exp(sum(math.log(x) for x in v) / len(v))
print()
for layer, v in sorted(shares.items()):
    c, m = cpu_shares[layer], median_shares[layer]
    print("%s geometric mean, Win32 speed as a share of native: %.2f (%d files, worst %.2f);"
          " from CPU times: fastest runs %.2f (worst %.2f), medians %.2f (worst %.2f)" %
          (layer, gmean(v), len(v), min(v), gmean(c), min(c), gmean(m), min(m)))
every = [x for v in shares.values() for x in v]
print("all files geometric mean: %.2f (worst %.2f)" % (gmean(every), min(every)))
PY
fi

python3 - "$decoder" "$runs" <<'PY'
import math, os, statistics, subprocess, sys
import re
decoder, runs = sys.argv[1], int(sys.argv[2])
only = re.compile(os.environ.get("BENCH_MP3_ONLY", ""))
files = sorted(f[:-4] for f in os.listdir(".")
               if f.endswith(".mp3") and f.split("-")[1] in ("60", "300") and only.search(f))
devnull = os.open(os.devnull, os.O_WRONLY)
peers = ["mpg123", "generic", "ffmpeg"]
names = ["ours"] + peers
def command(name, f):
    return {
        "ours": [decoder, f + ".mp3", os.devnull],
        "mpg123": ["mpg123", "-q", "--no-gapless", "-s", f + ".mp3"],
        "generic": ["mpg123", "--cpu", "generic", "-q", "--no-gapless", "-s", f + ".mp3"],
        "ffmpeg": ["ffmpeg", "-nostdin", "-v", "quiet", "-threads", "1", "-i", f + ".mp3",
                   "-f", "s16le", "-y", os.devnull],
    }[name]
def run(cmd):
    # GNU time reports the decoder's own peak resident size (a child of this
    # process would start out as a copy of it); its own CPU time is negligible.
    p = subprocess.Popen(["/usr/bin/time", "-f", "%M"] + cmd, stdout=devnull,
                         stderr=subprocess.PIPE, text=True)
    err = p.stderr.read()
    _, status, usage = os.wait4(p.pid, 0)
    if status != 0:
        sys.exit("failed: " + " ".join(cmd))
    return usage.ru_utime + usage.ru_stime, int(err.split()[-1])
ratios = {}
print("%-24s %-8s %10s %10s" % ("file", "decoder", "x-rt cpu", "peak KiB"))
for f in files:
    out = subprocess.run([decoder, "--info", f + ".mp3"], capture_output=True, text=True).stdout
    info = dict(line.split(": ", 1) for line in out.strip().splitlines())
    seconds = float(info["duration"].split()[0])
    cpu = {n: [] for n in names}
    peak = {n: 0 for n in names}
    for i in range(runs):
        order = names[i % len(names):] + names[:i % len(names)]
        for n in order:
            c, m = run(command(n, f))
            cpu[n].append(c)
            peak[n] = max(peak[n], m)
    med = {n: max(statistics.median(cpu[n]), 1e-6) for n in names}
    for n in names:
        print("%-24s %-8s %10.1f %10d" % (f, n, seconds / med[n], peak[n]))
    layer = f.split("-")[0].upper()
    for other in peers:
        r = med[other] / med["ours"]
        ratios.setdefault((layer, other), []).append(r)
        print("%-24s ours vs %-8s cpu-time ratio %.2f" % (f, other, r))
def gmean(v):
    return math.exp(sum(math.log(x) for x in v) / len(v))
print()
for (layer, other), v in sorted(ratios.items()):
    print("%s geometric mean, ours vs %-18s %.2f (%d files)" %
          (layer, {"mpg123": "mpg123 (default)", "generic": "mpg123 --cpu generic",
                   "ffmpeg": "ffmpeg"}[other] + ":", gmean(v), len(v)))
PY
