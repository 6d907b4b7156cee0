# Shared by the launcher and the run/test commands (sourced, POSIX sh).
# One Wine prefix per build tree, Japanese code page and fonts, quiet Wine, one persistent
# wineserver, and an Xvfb of our own when there is no display.

# Debian's wine64 package keeps its loader and server out of PATH.
if [ -z "${WINE_BIN:-}" ]; then
    if [ -x /usr/lib/wine/wine64 ]; then WINE_BIN=/usr/lib/wine/wine64; else WINE_BIN=wine64; fi
fi
if [ -z "${WINESERVER:-}" ]; then
    if [ -x /usr/lib/wine/wineserver64 ]; then WINESERVER=/usr/lib/wine/wineserver64; else WINESERVER=wineserver; fi
fi
export WINESERVER
SCRIPTS_DIR=${SCRIPTS_DIR:-$(cd "$(dirname "$0")" && pwd)}

wine_env() {
    build=$1
    export WINEPREFIX="$build/wineprefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export LANG=ja_JP.UTF-8
    export LC_ALL=ja_JP.UTF-8
    export WINEARCH=win64
    # Tests started by ctest inherit no display from a caller that had none: they use the
    # Xvfb the test command started, while it lives.
    if [ -z "${DISPLAY:-}" ] && [ -f "$build/xvfb.display" ] && [ -f "$build/xvfb.pid" ] &&
        kill -0 "$(cat "$build/xvfb.pid")" 2>/dev/null; then
        DISPLAY=$(cat "$build/xvfb.display")
        export DISPLAY
    fi
}

# A Unix path as Wine's Z: drive shows it.
wine_path() {
    printf 'Z:%s' "$1" | tr '/' '\\'
}

# Starts an Xvfb (screen $2, 1280x800x24 by default); remembers display and PID in the
# folder $1 (xvfb.display, xvfb.pid).
xvfb_start() {
    state=$1/xvfb
    screen=${2:-1280x800x24}
    mkdir -p "$1"
    n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 "$screen" -nolisten tcp </dev/null >/dev/null 2>&1 &
    echo $! >"$state.pid"
    i=0
    while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    echo ":$n" >"$state.display"
    DISPLAY=":$n"
    export DISPLAY
}

xvfb_stop() {
    state=$1/xvfb
    if [ -f "$state.pid" ]; then
        kill "$(cat "$state.pid")" 2>/dev/null || true
        rm -f "$state.pid" "$state.display"
    fi
}

# Creates the prefix once. Every stream is redirected: Wine's background services must not
# inherit a pipe that ctest waits on.
wine_prefix_ready() {
    if [ ! -f "$WINEPREFIX/.plexmoor-ready" ]; then
        # wineboot can end early without a word and leave a prefix without its system files,
        # where every program fails with "could not load kernel32.dll": start again then.
        attempt=1
        while :; do
            "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
            rm -rf "$WINEPREFIX"
            mkdir -p "$WINEPREFIX"
            "$WINE_BIN" wineboot -i </dev/null >/dev/null 2>&1 || true
            "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
            if [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then break; fi
            if [ "$attempt" -ge 3 ]; then
                echo "wine-env: could not create the Wine prefix $WINEPREFIX" >&2
                return 1
            fi
            attempt=$((attempt + 1))
        done
        "$WINE_BIN" regedit /S "$(wine_path "$SCRIPTS_DIR/wine-fonts.reg")" </dev/null >/dev/null 2>&1 || true
        "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
        touch "$WINEPREFIX/.plexmoor-ready"
    fi
    # Wine draws caption buttons and the split button's arrow with Marlett; Debian's loader
    # does not find its own copy, so the prefix gets one (else a "6" stands for the arrow).
    fonts="$WINEPREFIX/drive_c/windows/Fonts"
    if [ -d /usr/share/wine/fonts ] && [ ! -f "$fonts/marlett.ttf" ]; then
        mkdir -p "$fonts"
        cp /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
    fi
}

wine_server_start() {
    "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
    "$WINE_BIN" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_server_stop() {
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
}

# Set-up of the machine, then configure and build the preset's tree (arguments: targets).
plexmoor_build() {
    "$SCRIPTS_DIR/setup.sh"
    cmake --preset mingw -S "$SCRIPTS_DIR/.." >/dev/null
    if [ $# -gt 0 ]; then
        cmake --build --preset mingw --target "$@"
    else
        cmake --build --preset mingw
    fi
}

# What a command needs before it runs Windows programs: a display (an Xvfb of our own, its
# state in the folder $1, when there is none), the prefix, and Wine's services. The services
# must be up before ctest starts: otherwise they inherit ctest's output pipe and ctest waits
# for them forever. wine_session_end stops what was started.
wine_session_begin() {
    SESSION_STATE=""
    if [ -z "${DISPLAY:-}" ]; then
        xvfb_start "$1" "${2:-}"
        SESSION_STATE=$1
    fi
    wine_prefix_ready
    wine_server_start
}

wine_session_end() {
    wine_server_stop
    if [ -n "${SESSION_STATE:-}" ]; then xvfb_stop "$SESSION_STATE"; fi
    return 0
}
