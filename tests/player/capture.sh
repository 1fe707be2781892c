#!/usr/bin/env bash
# What the system's wave-out device is given, captured through ALSA's file
# plugin, must equal mp3decode's output for the file, last frames included:
#   capture.sh WINE_RUN PLAYER_CAPTURE.exe MP3DECODE.exe FIXTURES WORKDIR
set -uo pipefail
wine_run=$1 player=$2 decoder=$3 fixtures=$4 work=$5
rm -rf "$work"
mkdir -p "$work/home"
export HOME="$work/home"
cat > "$HOME/.asoundrc" <<ASOUND
pcm.!default {
    type file
    slave.pcm "null"
    file "$work/captured.raw"
    format "raw"
}
ASOUND
rc=0
for name in s44 m22 m8; do
    cap="$work/$name.captured.raw"
    sed -i "s|file \".*\"|file \"$cap\"|" "$HOME/.asoundrc"
    if ! "$wine_run" "$player" "$fixtures/$name.mp3"; then
        echo "capture: $name: the player did not finish"; rc=1; continue
    fi
    "$wine_run" "$decoder" "$fixtures/$name.mp3" "$work/$name.ref.raw" || { rc=1; continue; }
    ref=$(stat -c %s "$work/$name.ref.raw")
    got=$(stat -c %s "$cap" 2>/dev/null || echo 0)
    # Wine fills the device's last period with silence after the last sample.
    if [ "$got" -ge "$ref" ] && cmp -s -n "$ref" "$cap" "$work/$name.ref.raw" &&
       [ -z "$(tail -c +$((ref + 1)) "$cap" | tr -d '\000' | head -c 1)" ]; then
        echo "capture: $name: $ref bytes identical to mp3decode's, then $((got - ref)) bytes of silence"
    elif python3 - "$cap" "$work/$name.ref.raw" <<'PY'
# Silence the device put in while it ran dry (an underrun: Wine's mixer
# starved on a busy machine) is told apart from a wrong sample: the decoded
# samples must be the capture with only zero bytes taken out, at most a
# tenth of them, and only silence after the last. What the player hands the
# device, exactly, is checked with the test device in the chain test.
import sys
got, ref = (open(n, "rb").read() for n in sys.argv[1:3])
i = j = inserted = 0
while j < len(ref):
    if i == len(got):
        sys.exit(1)
    if got[i] == ref[j]:
        # Skip the run both share at once: a byte at a time is slow.
        n = 1
        while n < 65536 and got[i:i + 2 * n] == ref[j:j + 2 * n] and j + n < len(ref):
            n *= 2
        i += n
        j += n
    elif got[i] == 0:
        inserted += 1
        i += 1
    else:
        sys.exit(1)
if inserted > len(ref) // 10 or got[i:].strip(b"\0"):
    sys.exit(1)
print("capture: the same samples, with %d bytes of silence put in where the device ran dry" % inserted)
PY
    then
        echo "capture: $name: $ref bytes as mp3decode's, in order (see above), then silence"
    else
        echo "capture: $name: captured $got bytes, mp3decode $ref bytes: they differ"
        cmp "$cap" "$work/$name.ref.raw" | head -1
        rc=1
    fi
done
exit $rc
