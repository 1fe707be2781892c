#!/usr/bin/env bash
# Runs the libFuzzer target for a while over seeds made from the corpus builder.
#
#   fuzz-short.sh FUZZER WORKDIR SECONDS
set -euo pipefail
fuzzer=$(realpath "$1")
mkdir -p "$2"
work=$(realpath "$2")
secs=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ ! -f "$work/seeds/.done-20k" ]; then
    rm -rf "$work/seeds" "$work/corpus"
    "$root/scripts/build-mp3-corpus.sh" "$work/corpus" 1 >/dev/null 2>&1
    mkdir -p "$work/seeds"
    # 20,000 bytes of each: the reservoir rules need more than 6,000 bytes of
    # stream, and the long-frame files hold only a few frames in less.
    for f in "$work"/corpus/*.mp3; do head -c 20000 "$f" > "$work/seeds/$(basename "$f")"; done
    touch "$work/seeds/.done-20k"
fi
mkdir -p "$work/found"
cd "$work"
exec "$fuzzer" -max_total_time="$secs" -max_len=24576 -timeout=10 -rss_limit_mb=1024 \
    -print_final_stats=1 found seeds
