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
    else
        echo "capture: $name: captured $got bytes, mp3decode $ref bytes: they differ"
        cmp "$cap" "$work/$name.ref.raw" | head -1
        # Silence put in while the device ran dry (an underrun: the test machine
        # too busy to feed it in time) is told apart from a wrong sample.
        python3 - "$cap" "$work/$name.ref.raw" <<'PY'
import sys
got, ref = (memoryview(open(n, "rb").read()) for n in sys.argv[1:3])
at = next((i for i, (a, b) in enumerate(zip(got, ref)) if a != b), min(len(got), len(ref)))
zeros = lambda v: len(v) - len(bytes(v).lstrip(b"\0"))
run, rest = zeros(got[at:]), ref[at:]
for n in range(max(1, run - zeros(rest)), run + 1):
    if got[at + n:at + n + len(rest)] == rest:
        print("capture: the same samples with %d bytes of silence put in at byte %d: an underrun" % (n, at))
        break
PY
        rc=1
    fi
done
exit $rc
