#!/usr/bin/env bash
# A long run of the whole job, outside the test suite (CI does not run it):
#   scripts/soak-e2e.sh [CYCLES]
# Starts the local speech service and SpeechTool.exe, then drives CYCLES
# (default 300) synthesise / play / save-as cycles with uidriver.exe, each
# with its own text, and reads what the tool's process holds (handles,
# threads, GDI objects, windows, private bytes, working set; uidriver counts
# them from outside where Wine keeps no figure) after cycle 20 and at the
# end. Exit status 1 when any of them grew beyond a small allowance. Needs
# both presets built; where this kernel cannot run 32-bit code it runs in
# the test machine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/lib/wine-session.sh
cycles=${1:-300}
tool=build/win32/app/SpeechTool.exe
caption=$st_caption
for f in "$tool" "$st_driver" "$st_service_program"; do
    [ -f "$f" ] || { echo "soak-e2e: $f is missing: build both presets first" >&2; exit 2; }
done
if [ -z "${SPEECHTOOL_IN_VM:-}" ] && ! cmake/can-run-win32; then
    echo "soak-e2e: this kernel cannot run 32-bit code: running in the test machine"
    exec cmake/win32-vm scripts/soak-e2e.sh "$cycles"
fi

work=$(mktemp -d "$root/build/soak-e2e.XXXXXX")
tool_pid=""
cleanup() {
    if [ -n "$tool_pid" ]; then kill "$tool_pid" 2>/dev/null || true; fi
    wineserver -k >/dev/null 2>&1 || true
    st_stop_service
    st_stop_display
    rm -rf "$work"
}
trap cleanup EXIT

st_start_service 0 "$work/service.out" --cache "$work/cache" ||
    { echo "soak-e2e: the speech service did not start" >&2; exit 1; }
port=$st_service_port

st_virtual_display 150 199 || true
st_wine_prefix "$root/build/win32/wineprefix"
st_sound_home "$work/home"
mkdir -p "$work/tool"
cp "$tool" "$work/tool/"
printf '[service]\r\nhost=127.0.0.1\r\nport=%s\r\n' "$port" > "$work/tool/SpeechTool.ini"
saved_dir=$(winepath -w "$work" 2>/dev/null)

wineserver -p >/dev/null 2>&1 || true
wine "$work/tool/SpeechTool.exe" </dev/null >/dev/null 2>&1 &
tool_pid=$!
drive() { st_drive "$@"; }
drive wait-window "$caption" --timeout 180000 >/dev/null

# Read once the cycle's sound has ended (each text is a few syllables, under
# 3 s), so that the player's threads and buffers are gone.
usage() { sleep 4; drive usage "$caption" | sed -n 's/^ok usage pid=[0-9]* //p'; }
echo "soak-e2e: $cycles cycles against the speech service on port $port"
before=""
for i in $(seq 1 "$cycles"); do
    if ! drive click "$caption" 100 + wait "$caption" 100 focused=1 \
            + key "$caption" Ctrl+End Ctrl+Shift+Home + type "$caption" "第${i}次合成" \
            + wait "$caption" 100 "text=第${i}次合成" \
            + click "$caption" 110 + wait "$caption" 120 enabled=1 --timeout 120000 \
            + click "$caption" 120 \
            + click "$caption" 130 + file-dialog "$saved_dir\\saved$i.mp3" \
            + msgbox "信息：" --press 1 \
            + wait-gone "信息：" >"$work/cycle.out"; then
        echo "soak-e2e: cycle $i failed:" >&2
        cat "$work/cycle.out" >&2
        exit 1
    fi
    # Each cycle leaves two files: the folder would fill up.
    rm -f "$work/tool/音频文件/"*.mp3 "$work/saved$i.mp3"
    if [ "$i" = 20 ]; then before=$(usage); echo "soak-e2e: after cycle 20: $before"; fi
    [ $((i % 50)) = 0 ] && echo "soak-e2e: cycle $i: $(usage)"
done
after=$(usage)
echo "soak-e2e: after cycle $cycles: $after"
[ -n "$before" ] || { echo "soak-e2e: fewer than 20 cycles: nothing to compare"; exit 0; }

# Allowances: a few handles and objects, 4 MiB of memory (heap fragmentation,
# caches); no thread more. Wine's own file dialog leaves one registry key
# open per use (a plain program's save dialog does the same under Wine 8), so
# keys may grow by one a cycle and are told apart from the tool's handles.
value() { echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }
measured() { echo "$1 others=$(($(value "$1" handles) - $(value "$1" keys)))"; }
before=$(measured "$before") after=$(measured "$after")
rc=0
for key in others:16 keys:$((cycles - 20)) threads:0 gdi:8 user:8 windows:2 \
    private:4194304 working:4194304; do
    name=${key%%:*} allowance=${key#*:}
    b=$(value "$before" "$name") a=$(value "$after" "$name")
    if [ $((a - b)) -gt "$allowance" ]; then
        echo "soak-e2e: $name grew from $b to $a (allowance $allowance)"
        rc=1
    fi
done
echo "soak-e2e: registry keys held: $(value "$before" keys) after cycle 20, $(value "$after" keys) at the end"
[ "$rc" = 0 ] && echo "soak-e2e: flat from cycle 20 to $cycles"
drive key "$caption" Esc + wait-gone "$caption" >/dev/null || true
exit $rc
