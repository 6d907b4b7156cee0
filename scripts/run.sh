#!/bin/sh
# The run command: set up the machine, build the two programs and the sample plug-ins, and
# open Plexmoor2 under Wine on the samples, in a Wine prefix of its own (build/runprefix).
# With a DISPLAY the browser opens there and the command returns when it is closed. Without
# one, it starts its own Xvfb, waits for the dialog, saves a screenshot, prints its path and
# closes the program.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
SCRIPTS_DIR="$root/scripts"
# CMake and ctest take their presets from the working folder.
cd "$root"

. "$SCRIPTS_DIR/wine-env.sh"
headless=""
[ -n "${DISPLAY:-}" ] || headless=1

"$SCRIPTS_DIR/setup.sh"
echo "run: building Plexmoor2, Plexmoor1 and the sample plug-ins"
BUILD_LOG="$build/run-build.log"
plexmoor_compile Plexmoor2 Plexmoor1 plexmoor_samples

wine_env "$build"
export WINEPREFIX="$build/runprefix"
# The test command's Xvfb is no place for this window: without a display of the caller's,
# the command takes its own.
[ -z "$headless" ] || unset DISPLAY
trap wine_session_end EXIT
trap 'exit 130' INT TERM
if [ -f "$WINEPREFIX/.plexmoor-ready" ]; then
    echo "run: preparing Wine"
else
    echo "run: preparing Wine (creating its prefix, build/runprefix, takes a few seconds)"
fi
wine_session_begin "$build/runstate"

# Start on the samples: the browser starts in the most recent folder of its history.
samples=$(wine_path "$build/bin/samples")
appdata="$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Roaming"
settings="$appdata/Quorvane/Plexmoor2"
mkdir -p "$settings"
printf '[History]\r\n1=%s\r\n' "$samples" | iconv -f UTF-8 -t UTF-16 >"$settings/sph.ini"

exe=$(wine_path "$build/bin/Plexmoor2.exe")
if [ -z "$headless" ]; then
    echo "run: starting the browser on $DISPLAY (the command ends when you close it)"
    "$WINE_BIN" "$exe" </dev/null
    exit 0
fi

echo "run: starting the browser on an X display of its own ($DISPLAY) for a screenshot"
# Wine's own desktop gives the window a caption and frame, which a bare Xvfb does not draw.
log="$build/runstate/wine.log"
"$WINE_BIN" explorer /desktop=Plexmoor,1280x800 "$exe" </dev/null >"$log" 2>&1 &
i=0
until xwininfo -root -tree 2>/dev/null | grep -q '"Plexmoor2"'; do
    i=$((i + 1))
    if [ $i -gt 300 ]; then
        cat "$log" >&2
        echo "run: the browser did not open within 30 s" >&2
        exit 1
    fi
    sleep 0.1
done
# The dialog fills its lists after it shows.
sleep 2
shot="$build/screenshots/run-plexmoor2.png"
mkdir -p "$(dirname "$shot")"
import -window root "$shot"
echo "$shot"
