#!/usr/bin/env bash
# The run command: sets up and builds what is missing (seconds when nothing
# is), makes sure the local speech service answers on 127.0.0.1:8925 (and
# stops it at the end when this script started it), then starts
# SpeechTool.exe under Wine on your display.
#
#   scripts/run.sh [--text TEXT] [--demo]
#
# Without a display, with --demo, or where the kernel cannot run 32-bit code
# (then inside the test machine, cmake/win32-vm), it runs a demo instead: it
# types TEXT (default "你好，世界！Hello 123") into the tool, presses 语音合成
# with uidriver.exe, waits for 播放, presses it, waits for the end of the
# sound, and prints where the MP3, a WAV of what the sound device was given
# and a screenshot of the window are. On your display the window is yours
# (--text is the demo's); once you close it, it lists the MP3s made.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/lib/wine-session.sh

text="你好，世界！Hello 123"
text_given=0
demo=0
inside=0
while [ $# -gt 0 ]; do
    case "$1" in
        --text) [ $# -ge 2 ] || { echo "run: --text needs a text" >&2; exit 2; }; text=$2; text_given=1; shift 2 ;;
        --demo) demo=1; shift ;;
        --inside-test-machine) inside=1; shift ;; # internal: the demo's second half
        -h|--help) sed -n '2,16s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "run: unknown argument $1 (see --help)" >&2; exit 2 ;;
    esac
done

say() { echo "run: $*"; }

caption=$st_caption
tool=build/win32/app/SpeechTool.exe
decoder=build/win32/tools/mp3decode/mp3decode.exe
service_port=8925
out=$root/build/run
# The tool's own Wine prefix, apart from the test suite's (build/win32/wineprefix),
# whose programs all run in a Wine desktop of their own: here the window is a
# normal one on the display.
run_prefix=$root/build/win32/run-wineprefix

# --- Started here, stopped at the end ------------------------------------------
tool_pid="" wine_started=0 own_frame=0
frame_key='HKCU\Software\Wine\AppDefaults\SpeechTool.exe\X11 Driver'
# Each step runs whatever the one before it gave (errexit holds in the trap too).
cleanup() {
    if [ -n "$tool_pid" ]; then kill "$tool_pid" 2>/dev/null || true; fi
    if [ "$own_frame" = 1 ]; then
        wine reg delete "$frame_key" /v Decorated /f >/dev/null 2>&1 || true
    fi
    if [ "$wine_started" = 1 ]; then wineserver -k >/dev/null 2>&1 || true; fi
    if [ -n "$st_service_pid" ]; then
        say "stopping the speech service it started (pid $st_service_pid)"
    fi
    st_stop_service
    st_stop_display
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The local speech service on 127.0.0.1:8925, unless something answers there.
ensure_service() {
    if st_answers "$service_port"; then
        say "a speech service already answers on 127.0.0.1:$service_port: using it"
        return 0
    fi
    say "starting the local speech service on 127.0.0.1:$service_port"
    mkdir -p "$out"
    st_start_service "$service_port" "$out/speech-service.log" && return 0
    say "the speech service did not start; its log:" >&2
    cat "$out/speech-service.log" >&2
    exit 1
}

# --- The demo: the tool driven the way a person uses it ---------------------------
drive() { st_drive "$@"; }

run_demo() {
    mkdir -p "$out/home"
    local start_mark="$out/.started"
    touch "$start_mark"
    ensure_service

    if [ -z "${DISPLAY:-}" ]; then
        st_virtual_display 60 99 || { say "no virtual display could be started" >&2; exit 1; }
        say "virtual display $DISPLAY (Xvfb)"
    fi

    if [ "$inside" = 1 ]; then
        export SPEECHTOOL_IN_VM=${SPEECHTOOL_IN_VM:-1}
        [ -f /tmp/wineprefix/system.reg ] || [ -f "$root/build/win32/wineprefix.tar" ] ||
            say "creating the Wine prefix (once; a few minutes in the test machine)"
    else
        export WINE_RUN_DESKTOP=none
        [ -f "$run_prefix/system.reg" ] || say "creating the Wine prefix (once; a few minutes in the test machine)"
    fi
    st_wine_prefix "$run_prefix"
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true

    # The sound device's input goes to a file (ALSA's file plugin).
    local captured="$out/captured.raw"
    rm -f "$captured"
    st_sound_home "$out/home" "$captured"

    say "starting SpeechTool.exe under Wine"
    wine_started=1
    wineserver -p >/dev/null 2>&1 || true
    if [ -n "$st_xvfb_pid" ]; then
        # No window manager on the virtual display: Wine draws the caption and
        # frame itself, so the screenshot shows the whole window.
        wine reg add "$frame_key" /v Decorated /d N /f >/dev/null 2>&1 && own_frame=1
    fi
    wine "$tool" </dev/null >"$out/speechtool.log" 2>&1 &
    tool_pid=$!
    drive wait-window "$caption" --timeout 180000 >/dev/null ||
        { say "the window did not open" >&2; exit 1; }

    say "typing \"$text\" and pressing 语音合成"
    local r
    # Click into the text, select all of it (Ctrl+End, Ctrl+Shift+Home) and type over it.
    if ! r=$(drive click "$caption" 100 + wait "$caption" 100 focused=1 \
               + key "$caption" Ctrl+End Ctrl+Shift+Home + type "$caption" "$text" \
               + wait "$caption" 120 enabled=0 + click "$caption" 110 \
               + wait "$caption" 120 enabled=1 --timeout 180000); then
        echo "$r" >&2
        say "播放 was not enabled: the synthesis failed" >&2
        exit 1
    fi
    local mp3
    mp3=$(find "$root/build/win32/app/音频文件" -name '*.mp3' -newer "$start_mark" -printf '%T@ %p\n' |
          sort -n | tail -1 | cut -d' ' -f2-)
    [ -n "$mp3" ] || { say "no new MP3 in 音频文件" >&2; exit 1; }
    say "synthesised: $mp3"

    say "pressing 播放 and waiting for the end of the sound"
    local reference="$out/reference.raw"
    wine "$decoder" "$mp3" "$reference" </dev/null >/dev/null
    local want got last=-1 still=0
    want=$(stat -c %s "$reference")
    drive click "$caption" 120 >/dev/null
    # Done when the device has had every sample (Wine pads the last period
    # with silence), or when nothing more arrives for five seconds.
    for _ in $(seq 1 600); do
        got=$(stat -c %s "$captured" 2>/dev/null || echo 0)
        [ "$got" -ge "$want" ] && [ "$want" -gt 0 ] && break
        if [ "$got" = "$last" ] && [ "$got" -gt 0 ]; then
            still=$((still + 1)); [ "$still" -ge 10 ] && break
        else
            still=0
        fi
        last=$got
        sleep 0.5
    done
    sleep 1
    got=$(stat -c %s "$captured" 2>/dev/null || echo 0)
    if [ "$got" -ge "$want" ] && cmp -s -n "$want" "$captured" "$reference"; then
        say "the device was given $got bytes; the first $want equal mp3decode's decode of the MP3"
    else
        say "the device was given $got bytes, mp3decode decodes $want: they differ" >&2
    fi

    local info rate channels
    info=$(wine "$decoder" --info "$mp3" </dev/null | tr -d '\r')
    rate=$(echo "$info" | awk '/^sample rate:/ {print $3}')
    channels=$(echo "$info" | awk '/^channels:/ {print $2}')
    local wav="$out/played.wav" png="$out/speechtool.png"
    rm -f "$wav" "$png"
    sox -q -t raw -r "$rate" -e signed -b 16 -c "$channels" "$captured" "$wav"

    drive screenshot "$caption" "$(winepath -w "$png" 2>/dev/null)" >/dev/null ||
        say "the screenshot failed" >&2

    say "pressing Esc"
    drive key "$caption" Esc + wait-gone "$caption" >/dev/null || true
    local rc=0
    wait "$tool_pid" || rc=$?
    tool_pid=""
    say "SpeechTool.exe ended with exit code $rc"

    echo
    echo "MP3 (in 音频文件): $mp3"
    echo "WAV (what the sound device was given): $wav"
    echo "PNG (the window): $png"
    [ -f "$png" ] && [ -s "$wav" ] && [ "$rc" = 0 ]
}

if [ "$inside" = 1 ]; then
    run_demo
    exit $?
fi

# --- Set-up and build -------------------------------------------------------------
say "set-up: installing what this machine lacks (seconds when nothing is missing)"
scripts/setup.sh
for preset in host win32; do
    if [ ! -f "build/$preset/CMakeCache.txt" ]; then
        say "configuring the $preset build"
        cmake --preset "$preset" >/dev/null
    fi
done
say "building the speech service (native)"
cmake --build --preset host --target speech-service
say "building SpeechTool.exe, uidriver.exe and mp3decode.exe (Win32)"
cmake --build --preset win32 --target SpeechTool uidriver mp3decode

if ! cmake/can-run-win32; then
    say "this kernel cannot run 32-bit programs: the demo runs in the test machine (cmake/win32-vm)"
    say "booting the test machine (about a minute, more on a busy machine)"
    args=(--inside-test-machine --text "$text")
    cmake/win32-vm scripts/run.sh "${args[@]}"
    exit $?
fi

if [ "$demo" = 1 ] || [ -z "${DISPLAY:-}" ]; then
    [ "$demo" = 1 ] || say "no display: running the demo on a virtual one"
    run_demo
    exit $?
fi

[ "$text_given" = 1 ] && say "--text is for the demo (--demo); on your display, type into the window"
if [ ! -e /proc/asound/cards ] || grep -q 'no soundcards' /proc/asound/cards 2>/dev/null; then
    if [ ! -S "${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/pulse/native" ]; then
        say "no sound card found: 播放 will be silent here (--demo captures the sound to a WAV)"
    fi
fi
ensure_service
mkdir -p "$out"
session_mark="$out/.session"
touch "$session_mark"
if [ -f "$run_prefix/system.reg" ]; then
    say "starting SpeechTool.exe under Wine on $DISPLAY"
else
    say "starting SpeechTool.exe under Wine on $DISPLAY (creating its Wine prefix first: about a minute)"
fi
rc=0
WINE_RUN_PREFIX=$run_prefix WINE_RUN_DESKTOP=none cmake/wine-run "$tool" || rc=$?
say "SpeechTool.exe ended with exit code $rc"
made=$(find "$root/build/win32/app/音频文件" -name '*.mp3' -newer "$session_mark" 2>/dev/null | sort)
if [ -n "$made" ]; then
    say "MP3s made (in build/win32/app/音频文件):"
    echo "$made"
else
    say "no MP3 was made (they land in build/win32/app/音频文件)"
fi
exit $rc
