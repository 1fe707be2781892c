#!/usr/bin/env bash
# Decodes every file of the corpus with mp3decode and with the reference decoder
# (mpg123 --no-gapless) and compares them sample by sample: PSNR >= 96 dB, largest
# difference <= 1, equal lengths after the file's stated offset (see the manifest).
#
#   accuracy.sh MP3DECODE PCM_COMPARE CORPUS_DIR
set -uo pipefail
decoder=$1
compare=$2
corpus=$3
root=$(cd "$(dirname "$0")/../.." && pwd)

# The corpus is built once per build tree and rebuilt when its script changes.
stamp=$(sha1sum "$root/scripts/build-mp3-corpus.sh" | cut -c1-40)
if [ "$(cat "$corpus/stamp" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$corpus"
    "$root/scripts/build-mp3-corpus.sh" "$corpus" 3 >/dev/null 2>&1 || { echo "corpus build failed"; exit 1; }
    echo "$stamp" > "$corpus/stamp"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
while read -r name channels skip; do
    if ! "$decoder" "$corpus/$name.mp3" "$work/test.raw"; then
        echo "FAIL $name: mp3decode failed"
        failed=1
        continue
    fi
    mpg123 -q --no-gapless -s "$corpus/$name.mp3" > "$work/ref.raw" 2>/dev/null
    if result=$("$compare" "$work/test.raw" "$work/ref.raw" "$channels" "$skip" 96 1); then
        echo "ok   $name (skip $skip): $result"
    else
        echo "FAIL $name (skip $skip): $result"
        failed=1
    fi
done < "$corpus/manifest"

# Damaged streams against the file they were made from: as many samples, and no
# sample louder than the undamaged file has.
while read -r name base; do
    if ! "$decoder" "$corpus/$name.mp3" "$work/test.raw" || ! "$decoder" "$corpus/$base.mp3" "$work/base.raw"; then
        echo "FAIL $name: mp3decode failed"
        failed=1
        continue
    fi
    if result=$(python3 - "$work/test.raw" "$work/base.raw" <<'PY'
import array, sys
test = array.array("h", open(sys.argv[1], "rb").read())
base = array.array("h", open(sys.argv[2], "rb").read())
peak = max(abs(v) for v in test)
limit = max(abs(v) for v in base)
print("samples %d/%d peak %d (undamaged %d)" % (len(test), len(base), peak, limit))
sys.exit(0 if len(test) == len(base) and peak <= limit else 1)
PY
    ); then
        echo "ok   $name: $result"
    else
        echo "FAIL $name: $result"
        failed=1
    fi
done < "$corpus/damaged"
exit $failed
