#!/bin/sh
# The screenshot command: builds the programs, the sample plug-ins and the driver, then, in a
# Wine prefix and an Xvfb of its own, takes the guide's pictures at 96 and at 144 DPI and
# prints the path of every PNG (build/screenshots/<dpi>/<name>.png). When all went well it
# also refreshes the README's picture, docs/plexmoor2.png: the main dialog at 96 DPI.
# Optional argument: another build tree to use instead of build/ (configured if needed).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
SCRIPTS_DIR="$root/scripts"
shots="main-dialog type-list-menu history-menu folder-picker plugin-settings configurator-usage"

"$root/scripts/setup.sh"
if [ "$build" = "$root/build" ]; then
    cmake --preset mingw -S "$root" >/dev/null
else
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DPLEXMOOR_WERROR=ON >/dev/null
fi
cmake --build "$build" --target Plexmoor2 Plexmoor1 plexmoor_samples shot_driver -j2 >/dev/null

. "$SCRIPTS_DIR/wine-env.sh"
wine_env "$build"
export WINEPREFIX="$build/shotprefix"

# Our own Xvfb, whatever display the caller has: the pictures must not depend on it, and the
# 144-DPI dialog needs a screen larger than the shared helper's.
unset DISPLAY
trap wine_session_end EXIT INT TERM
wine_session_begin "$build/shotstate" 1920x1200x24

# The history menu shows what sph.ini holds: the samples first (the browser starts there),
# then a few folders a Japanese user might have used. The samples are copied into the prefix,
# so that no picture shows where this tree lies and the README's picture is the same anywhere.
user=${USER:-$(id -un)}
plugins="$WINEPREFIX/drive_c/Program Files/Susie/plugin"
settings="$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Quorvane/Plexmoor2"
mkdir -p "$settings" "$plugins" "$WINEPREFIX/drive_c/Susie/plugin" \
    "$WINEPREFIX/drive_c/users/Public/Documents/画像ツール/プラグイン" "$WINEPREFIX/drive_c/Susie64/試用版"
rm -f "$plugins"/*.sph
cp "$build"/bin/samples/*.sph "$plugins/"
write_history() {
    printf '[History]\r\n1=%s\r\n2=%s\r\n3=%s\r\n4=%s\r\n' 'C:\Program Files\Susie\plugin' \
        'C:\users\Public\Documents\画像ツール\プラグイン' 'C:\Susie64\試用版' 'C:\Susie\plugin' |
        iconv -f UTF-8 -t UTF-16 >"$settings/sph.ini"
}

status=0
for dpi in 96 144; do
    case $dpi in
        96) desktop=1280x800 ;;
        *) desktop=1920x1200 ;;
    esac
    out="$build/screenshots/$dpi"
    rm -rf "$out"
    mkdir -p "$out"
    write_history
    # A fresh process reads the DPI at start-up: set it before anything of ours runs.
    "$WINE_BIN" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
        </dev/null >/dev/null 2>&1
    "$WINE_BIN" explorer "/desktop=Plexmoor$dpi,$desktop" "$(wine_path "$build/bin/shot_driver.exe")" \
        "$(wine_path "$out")" "$(wine_path "$build/bin/Plexmoor2.exe")" \
        "$(wine_path "$build/bin/Plexmoor1.exe")" pngfu.sph </dev/null >/dev/null 2>&1 &
    desktop_pid=$!
    i=0
    until grep -q '^done ' "$out/driver.log" 2>/dev/null; do
        i=$((i + 1))
        if [ $i -gt 600 ]; then
            echo "screenshots: the driver did not finish at $dpi DPI" >&2
            break
        fi
        sleep 0.1
    done
    # Ends the desktop and whatever the driver left behind before the next DPI.
    wine_server_stop
    wait "$desktop_pid" 2>/dev/null || true
    wine_server_start
    grep -E '^(FAIL|NOTE)' "$out/driver.log" | sed "s/^/screenshots: $dpi DPI: /" >&2 || true
    if grep -q '^FAIL' "$out/driver.log" || ! grep -q '^done 0' "$out/driver.log"; then status=1; fi
    grep -q "^screen .*, $dpi DPI" "$out/driver.log" || {
        echo "screenshots: the display did not run at $dpi DPI" >&2
        status=1
    }
    for name in $shots; do
        if [ -f "$out/$name.bmp" ]; then
            convert "$out/$name.bmp" "$out/$name.png"
            rm -f "$out/$name.bmp"
            echo "$out/$name.png"
        else
            echo "screenshots: missing $name at $dpi DPI" >&2
            status=1
        fi
    done
done
# Without ImageMagick's time chunks: an unchanged dialog gives the same bytes on every run.
if [ $status -eq 0 ]; then
    convert "$build/screenshots/96/main-dialog.png" -strip "$root/docs/plexmoor2.png"
    echo "$root/docs/plexmoor2.png"
fi
exit $status
