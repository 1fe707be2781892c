# What scripts/run.sh, soak-e2e.sh and bench-e2e.sh share, sourced by each:
# a virtual display, the Wine prefix, the sound device's output, the local
# speech service, uidriver.exe, and stopping what they started. The caller
# runs from the source tree's root and calls st_stop_service and
# st_stop_display from its own EXIT trap.

st_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
st_caption="普通话语音合成工具 - 输入文字即可生成MP3音频"
st_service_program=$st_root/build/host/service/speech-service
st_driver=$st_root/build/win32/tools/uidriver/uidriver.exe
st_xvfb_pid="" st_service_pid="" st_service_port=""

# Something answers on 127.0.0.1:PORT.
st_answers() { timeout 3 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null; }

# Without DISPLAY: an Xvfb display of its own, on the first free number in
# FIRST..LAST, exported as DISPLAY. False when none could be started.
st_virtual_display() {
    local n
    [ -z "${DISPLAY:-}" ] || return 0
    for n in $(seq "$1" "$2"); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        st_xvfb_pid=$!
        # On a loaded machine Xvfb may take far longer than usual.
        for _ in $(seq 1 1200); do
            [ -e "/tmp/.X11-unix/X$n" ] || ! kill -0 "$st_xvfb_pid" 2>/dev/null && break
            sleep 0.1
        done
        if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$st_xvfb_pid" 2>/dev/null; then
            export DISPLAY=":$n"
            return 0
        fi
        kill "$st_xvfb_pid" 2>/dev/null; st_xvfb_pid=""
    done
    return 1
}

st_stop_display() {
    if [ -n "$st_xvfb_pid" ]; then kill "$st_xvfb_pid" 2>/dev/null || true; fi
    st_xvfb_pid=""
    return 0
}

# Wine as the tool needs it (Chinese locale, no debug chatter, no Mono or
# Gecko prompts) in the prefix PREFIX, made on first use. In the test machine
# (SPEECHTOOL_IN_VM set) Wine cannot map images it wrote to the shared tree:
# the prefix lives in memory instead, kept between runs as an archive in the
# build tree, as the test runs keep it.
st_wine_prefix() {
    local archive=$st_root/build/win32/wineprefix.tar
    export WINEARCH=win32 WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
    if [ -n "${SPEECHTOOL_IN_VM:-}" ]; then
        export WINEPREFIX=/tmp/wineprefix
        [ -f "$archive" ] && tar -C /tmp -xf "$archive"
    else
        export WINEPREFIX=$1
    fi
    WINE_RUN_PREFIX=$WINEPREFIX "$st_root/cmake/wine-run" cmd /c exit 0 >/dev/null 2>&1
    if [ -n "${SPEECHTOOL_IN_VM:-}" ] && [ ! -f "$archive" ]; then
        tar -C /tmp -cf "$archive.new" wineprefix && mv "$archive.new" "$archive"
    fi
    return 0
}

# HOME for the Wine programs to come, with ALSA's default device writing what
# it is given to FILE (raw), or to nothing without FILE.
st_sound_home() {
    mkdir -p "$1"
    if [ -n "${2:-}" ]; then
        printf 'pcm.!default {\n    type file\n    slave.pcm "null"\n    file "%s"\n    format "raw"\n}\n' \
            "$2" >"$1/.asoundrc"
    else
        printf 'pcm.!default {\n    type null\n}\n' >"$1/.asoundrc"
    fi
    export HOME=$1
}

# Starts the local speech service on 127.0.0.1:PORT (0: a free port), its
# output to LOG, further arguments its own; once it answers, its port is in
# st_service_port. False when it did not start.
st_start_service() {
    local port=$1 log=$2
    shift 2
    "$st_service_program" --listen "127.0.0.1:$port" --quiet "$@" >"$log" 2>&1 &
    st_service_pid=$!
    for _ in $(seq 1 200); do
        if [ "$port" = 0 ]; then
            st_service_port=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$log")
            [ -n "$st_service_port" ] && return 0
        elif st_answers "$port"; then
            st_service_port=$port
            return 0
        fi
        kill -0 "$st_service_pid" 2>/dev/null || break
        sleep 0.1
    done
    return 1
}

st_stop_service() {
    if [ -n "$st_service_pid" ]; then
        { kill "$st_service_pid" 2>/dev/null && wait "$st_service_pid" 2>/dev/null; } || true
    fi
    st_service_pid=""
    return 0
}

# uidriver.exe with these arguments, in the current prefix.
st_drive() { wine "$st_driver" "$@" </dev/null; }
