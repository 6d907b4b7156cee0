#!/bin/sh
# The run command: set up the machine, build, and open Plexmoor2 under Wine on the bundled
# sample plug-ins, in a Wine prefix of its own (build/runprefix).
# With a DISPLAY the browser opens there and the command returns when it is closed. Without
# one, it starts its own Xvfb, waits for the dialog, saves a screenshot, prints its path and
# closes the program.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
SCRIPTS_DIR="$root/scripts"

. "$SCRIPTS_DIR/wine-env.sh"
headless=""
[ -n "${DISPLAY:-}" ] || headless=1

plexmoor_build
wine_env "$build"
export WINEPREFIX="$build/runprefix"
# The test command's Xvfb is no place for this window: without a display of the caller's,
# the command takes its own.
[ -z "$headless" ] || unset DISPLAY
trap wine_session_end EXIT INT TERM
wine_session_begin "$build/runstate"

# Start on the samples: the browser starts in the most recent folder of its history.
samples=$(wine_path "$build/bin/samples")
appdata="$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Roaming"
settings="$appdata/Quorvane/Plexmoor2"
mkdir -p "$settings"
printf '[History]\r\n1=%s\r\n' "$samples" | iconv -f UTF-8 -t UTF-16 >"$settings/sph.ini"

exe=$(wine_path "$build/bin/Plexmoor2.exe")
if [ -z "$headless" ]; then
    "$WINE_BIN" "$exe" </dev/null
    exit 0
fi

# Wine's own desktop gives the window a caption and frame, which a bare Xvfb does not draw.
"$WINE_BIN" explorer /desktop=Plexmoor,1280x800 "$exe" </dev/null >/dev/null 2>&1 &
i=0
until xwininfo -root -tree 2>/dev/null | grep -q '"Plexmoor2"'; do
    i=$((i + 1))
    if [ $i -gt 300 ]; then
        echo "run: the browser did not open" >&2
        exit 1
    fi
    sleep 0.1
done
sleep 2
shot="$build/screenshots/run-plexmoor2.png"
mkdir -p "$(dirname "$shot")"
import -window root "$shot"
echo "$shot"
