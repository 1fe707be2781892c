#!/usr/bin/env bash
# Fuzzes the MP3 stream parser and decoder (find stream -> decode every frame) with
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   scripts/fuzz-mp3.sh [SECONDS]     default 600
#
# Builds the host preset's fuzzer target (clang), seeds it from the corpus builder
# and runs it; crashes, hangs and sanitizer reports end the run with a non-zero
# status and leave the input in build/host/tests/mp3/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-600}
cmake --preset host >/dev/null
cmake --build --preset host --target mp3_fuzzer_build
exec tests/mp3/fuzz-short.sh build/host/tests/mp3/mp3_fuzzer build/host/tests/mp3/fuzz "$secs"
