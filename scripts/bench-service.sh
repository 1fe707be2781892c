#!/usr/bin/env bash
# Benchmarks the local speech service (not a test; prints figures):
#   - synthesis time for 100 Chinese characters (page request that synthesises)
#   - cached-request latency, median of 100 (page and MP3)
#   - requests/s with 8 and with 100 concurrent clients on a cached request
#   - peak RSS over 1,000 distinct requests with a small cache cap (eviction)
# Usage: scripts/bench-service.sh [BUILD_DIR]   (default build/host, built if needed)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/host}
if [ ! -x "$build/service/speech-service" ] || [ ! -x "$build/tests/service/service_load_client" ]; then
    (cd "$root" && cmake --preset host >/dev/null && cmake --build --preset host >/dev/null)
fi
service=$build/service/speech-service
load=$build/tests/service/service_load_client

work=$(mktemp -d "${TMPDIR:-/tmp}/speech-bench.XXXXXX")
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Starts a service on a free loopback port; sets $pid and $port.
start_service() {
    local name=$1
    shift
    "$service" --listen 127.0.0.1:0 --cache "$work/$name" "$@" >"$work/$name.out" 2>"$work/$name.log" &
    pid=$!
    pids+=("$pid")
    port=""
    for _ in $(seq 1 200); do
        port=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/$name.out")
        [ -n "$port" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    if [ -z "$port" ]; then
        echo "bench: service did not start" >&2
        cat "$work/$name.log" >&2
        exit 1
    fi
}

stop_service() {
    kill -TERM "$1"
    wait "$1" || true
}

echo "machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)"

start_service main
echo "== synthesis (cache misses; page answer includes eSpeak, LAME and the cache write)"
"$load" "$port" synth @100 @100 @100 @100 @100

echo "== cached requests"
text_target="/bin/makeColorPlusGuest.jsp?sex=201&speed=0&ment=%E4%BD%A0%E5%A5%BD%EF%BC%8C%E4%B8%96%E7%95%8C%20123%20abc"
audio=$("$load" "$port" audio "$text_target")
echo -n "page  "; "$load" "$port" latency 100 "$text_target"
echo -n "mp3   "; "$load" "$port" latency 100 "$audio"
echo -n "page  "; "$load" "$port" throughput 8 5 "$text_target"
echo -n "mp3   "; "$load" "$port" throughput 8 5 "$audio"
echo -n "page  "; "$load" "$port" throughput 100 5 "$text_target"
echo "service RSS after these: $(sed -n 's/^VmHWM:\s*//p' /proc/"$pid"/status) peak"
stop_service "$pid"

echo "== 1,000 distinct requests, cache capped at 2 MiB"
start_service evict --cache-max 2M
"$load" "$port" distinct 100 0
echo "peak RSS after the first 100: $(sed -n 's/^VmHWM:\s*//p' /proc/"$pid"/status)"
"$load" "$port" distinct 900 100
files=$(find "$work/evict" -name '*.mp3' | wc -l)
bytes=$(du -sb "$work/evict" | cut -f1)
echo "cache directory afterwards: $files files, $bytes bytes"
echo "peak RSS: $(sed -n 's/^VmHWM:\s*//p' /proc/"$pid"/status), current RSS: $(sed -n 's/^VmRSS:\s*//p' /proc/"$pid"/status)"
stop_service "$pid"
