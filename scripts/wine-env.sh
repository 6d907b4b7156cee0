# Shared by the launcher and the run/test commands (sourced, POSIX sh).
# One Wine prefix per build tree, Japanese code page and fonts, quiet Wine, one persistent
# wineserver, and an Xvfb of our own when there is no display.

SCRIPTS_DIR=${SCRIPTS_DIR:-$(cd "$(dirname "$0")" && pwd)}

# Finds Wine's loader and server. Called only after the set-up step: on a fresh machine Wine
# is installed by it, and Debian's wine64 package keeps both out of PATH.
wine_tools() {
    if [ -z "${WINE_BIN:-}" ]; then
        for candidate in /usr/lib/wine/wine64 wine64 wine; do
            if command -v "$candidate" >/dev/null 2>&1; then
                WINE_BIN=$(command -v "$candidate")
                break
            fi
        done
    fi
    if [ -z "${WINESERVER:-}" ]; then
        for candidate in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver wineserver; do
            if command -v "$candidate" >/dev/null 2>&1; then
                WINESERVER=$(command -v "$candidate")
                break
            fi
        done
    fi
    if [ -z "${WINE_BIN:-}" ] || [ -z "${WINESERVER:-}" ]; then
        echo "wine-env: Wine is not installed (no wine64 loader or wineserver in /usr/lib/wine or on PATH); scripts/setup.sh installs it" >&2
        return 1
    fi
    export WINESERVER
}

wine_env() {
    build=$1
    wine_tools || return 1
    export WINEPREFIX="$build/wineprefix"
    export WINEDEBUG=-all
    # No Mono or Gecko prompts; a test may add overrides of its own.
    export WINEDLLOVERRIDES="mscoree,mshtml=${PLEXMOOR_DLL_OVERRIDES:+;$PLEXMOOR_DLL_OVERRIDES}"
    # For Wine, not for this shell: a shell that read glibc's locale list before set-up generated
    # ja_JP.UTF-8 cannot switch to it, and bash says so on every assignment.
    { export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8; } 2>/dev/null
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

# Starts an Xvfb (screen $2, 1280x800x24 by default); remembers display, PID and output in the
# folder $1 (xvfb.display, xvfb.pid, xvfb.log). Xvfb picks a free display itself and names it
# once it accepts connections, so two commands started together never race for one.
xvfb_start() {
    state=$1/xvfb
    screen=${2:-1280x800x24}
    mkdir -p "$1"
    rm -f "$state.number" "$state.display"
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$state.number" </dev/null >"$state.log" 2>&1 &
    echo $! >"$state.pid"
    i=0
    until [ -s "$state.number" ]; do
        why=""
        kill -0 "$(cat "$state.pid")" 2>/dev/null || why="it ended"
        [ $i -lt 300 ] || why="it was not ready after 30 s"
        if [ -n "$why" ]; then
            cat "$state.log" >&2
            echo "wine-env: starting the X display (Xvfb) failed: $why" >&2
            xvfb_stop "$1"
            return 1
        fi
        sleep 0.1
        i=$((i + 1))
    done
    DISPLAY=":$(cat "$state.number")"
    echo "$DISPLAY" >"$state.display"
    export DISPLAY
}

xvfb_stop() {
    state=$1/xvfb
    if [ -f "$state.pid" ]; then
        kill "$(cat "$state.pid")" 2>/dev/null || true
        rm -f "$state.pid" "$state.display" "$state.number" "$state.log"
    fi
}

# Creates the prefix once. Every stream is redirected: Wine's background services must not
# inherit a pipe that ctest waits on. Their output goes to a log beside the prefix, shown when
# a step fails.
wine_prefix_ready() {
    log="$WINEPREFIX.log"
    if [ ! -f "$WINEPREFIX/.plexmoor-ready" ]; then
        # wineboot can end early without a word and leave a prefix without its system files,
        # where every program fails with "could not load kernel32.dll": start again then.
        attempt=1
        while :; do
            "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
            rm -rf "$WINEPREFIX"
            mkdir -p "$WINEPREFIX"
            status=0
            "$WINE_BIN" wineboot -i </dev/null >"$log" 2>&1 || status=$?
            if [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then break; fi
            if [ "$attempt" -ge 3 ]; then
                cat "$log" >&2
                echo "wine-env: creating the Wine prefix $WINEPREFIX failed (wineboot -i exited with $status and left no system files, 3 times)" >&2
                return 1
            fi
            attempt=$((attempt + 1))
        done
        if ! "$WINE_BIN" regedit /S "$(wine_path "$SCRIPTS_DIR/wine-prefix.reg")" </dev/null >"$log" 2>&1; then
            cat "$log" >&2
            echo "wine-env: importing the Japanese font replacements and crash settings into $WINEPREFIX failed (regedit)" >&2
            return 1
        fi
        # The prefix counts as ready only once the server has ended and written the registry.
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

# For test runs only: tells Wine's X driver that no window manager handles its windows. On an
# Xvfb none does, and Wine in its default mode waits up to 2 s for a window manager's answer
# each time a framed window hides (a message box dismissed, a dialog closed). The programs'
# behaviour is not changed by it; the run prefix, which may meet a real desktop, keeps the default.
wine_windows_unmanaged() {
    if ! "$WINE_BIN" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >"$WINEPREFIX.log" 2>&1; then
        cat "$WINEPREFIX.log" >&2
        echo "wine-env: setting Wine's X11 driver to unmanaged windows in $WINEPREFIX failed (reg add)" >&2
        return 1
    fi
}

wine_server_start() {
    "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
    "$WINE_BIN" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_server_stop() {
    [ -n "${WINESERVER:-}" ] || return 0
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
}

# Configures the preset's tree and builds it (arguments: targets; none builds everything).
# With BUILD_LOG set, the output goes to that file and is shown only when a step fails.
plexmoor_compile() {
    if [ $# -gt 0 ]; then set -- --target "$@"; fi
    if [ -n "${BUILD_LOG:-}" ]; then
        mkdir -p "$(dirname "$BUILD_LOG")"
        : >"$BUILD_LOG"
    fi
    build_step quiet "configuring the build (cmake --preset mingw)" cmake --preset mingw -S "$SCRIPTS_DIR/.." || return 1
    build_step shown "building (cmake --build --preset mingw $*)" cmake --build --preset mingw "$@" || return 1
}

# Runs one build step (arguments: quiet or shown for its standard output without BUILD_LOG,
# the step's name, the command); a failure names the step after the tool's own messages.
build_step() {
    output=$1
    what=$2
    shift 2
    if [ -n "${BUILD_LOG:-}" ]; then
        "$@" >>"$BUILD_LOG" 2>&1 && return 0
        cat "$BUILD_LOG" >&2
    elif [ "$output" = quiet ]; then
        "$@" >/dev/null && return 0
    else
        "$@" && return 0
    fi
    echo "build: $what failed" >&2
    return 1
}

# Set-up of the machine, then configure and build (arguments: targets).
plexmoor_build() {
    "$SCRIPTS_DIR/setup.sh" || return 1
    plexmoor_compile "$@"
}

# What a command needs before it runs Windows programs: a display (an Xvfb of our own, its
# state in the folder $1, when there is none), the prefix, and Wine's services. The services
# must be up before ctest starts: otherwise they inherit ctest's output pipe and ctest waits
# for them forever. wine_session_end stops what was started.
wine_session_begin() {
    SESSION_STATE=""
    if [ -z "${DISPLAY:-}" ]; then
        xvfb_start "$1" "${2:-}" || return 1
        SESSION_STATE=$1
    fi
    wine_prefix_ready || return 1
    wine_server_start
    SESSIONS="$WINEPREFIX.sessions"
    mkdir -p "$SESSIONS" && : >"$SESSIONS/$$"
}

# Stopping the server ends every program of the prefix, and Wine ends each with status 0: a
# test of another command on the same build tree would pass cut short. So the server stops
# with the last session of its prefix only.
wine_session_end() {
    others=""
    if [ -n "${SESSIONS:-}" ]; then
        rm -f "$SESSIONS/$$"
        for session in "$SESSIONS"/*; do
            [ -e "$session" ] || continue
            if kill -0 "${session##*/}" 2>/dev/null; then others=1; else rm -f "$session"; fi
        done
    fi
    [ -n "$others" ] || wine_server_stop
    if [ -n "${SESSION_STATE:-}" ]; then xvfb_stop "$SESSION_STATE"; fi
    return 0
}
