#!/bin/sh
# Checks the Windows test bundle here, as a Windows machine would meet it: unpacks
# dist/Plexmoor-<version>-tests.zip into a fresh Wine prefix in a temporary folder (nothing of
# the build tree, no Z: drive), plants a history file, a file beside it and Susie's registry
# value, runs "wine cmd /c run-tests.cmd" there, and checks that every case the test programs
# report passed or was skipped, that no program went unreported, and that the planted things are
# unchanged. Not part of the test command.
# Usage: scripts/check-test-bundle.sh [zip]   (without one, scripts/package-tests.sh makes it)
# PLEXMOOR_BUNDLE_LANG=C.UTF-8 runs it on a system that is not Japanese (code page 1252): the
# tests that need code page 932 are then counted as skipped.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
SCRIPTS_DIR="$root/scripts"
. "$SCRIPTS_DIR/wine-env.sh"

"$SCRIPTS_DIR/setup.sh"
zip=${1:-}
if [ -z "$zip" ]; then
    zip=$("$SCRIPTS_DIR/package-tests.sh" | tail -n 1)
fi
[ -f "$zip" ] || { echo "check-test-bundle: no bundle $zip" >&2; exit 1; }
name=$(basename "$zip" .zip)

wine_tools
work=$(mktemp -d "${TMPDIR:-/tmp}/plexmoor-bundle.XXXXXX")
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
language=${PLEXMOOR_BUNDLE_LANG:-ja_JP.UTF-8}
{ export LANG="$language" LC_ALL="$language"; } 2>/dev/null
SESSION_STATE=""
finish() {
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    if [ -n "$SESSION_STATE" ]; then xvfb_stop "$SESSION_STATE"; fi
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM
if [ -z "${DISPLAY:-}" ]; then
    xvfb_start "$work"
    SESSION_STATE=$work
fi

# Wine reads a library override from the environment it started with; on Windows the planted
# library needs none. ctest gives it to the test that plants one: here the whole run gets it.
unzip -q "$zip" -d "$work"
overrides=$(sed -n 's/^set "PLEXMOOR_DLL_OVERRIDES=\(.*\)"\r*$/\1/p' "$work/$name/run-tests.cmd" | paste -sd ';')
export WINEDLLOVERRIDES="mscoree,mshtml=${overrides:+;$overrides}"
echo "check-test-bundle: preparing a fresh Wine prefix ($language)"
wine_prefix_ready
wine_windows_unmanaged
wine_server_start
rm -f "$WINEPREFIX/dosdevices/z:"
mv "$work/$name" "$WINEPREFIX/drive_c/$name"

# The things of the person who runs the tests, planted.
appdata="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming"
settings="$appdata/Quorvane/Plexmoor2"
mkdir -p "$settings"
printf '[History]\r\n1=C:\\写真\\プラグイン\r\n2=C:\\Susie\\plugin\r\n' | iconv -f UTF-8 -t UTF-16 >"$settings/sph.ini"
printf 'kept\r\n' >"$settings/notes.txt"
key='HKCU\Software\Brintell\Susie\Plug-in'
"$WINE_BIN" reg add "$key" /v Path /t REG_SZ /d 'C:\Susie\プラグイン' /f </dev/null >/dev/null 2>&1
"$WINE_BIN" reg add "$key" /v Other /t REG_DWORD /d 7 /f </dev/null >/dev/null 2>&1
planted() {
    (cd "$settings" && find . -type f | LC_ALL=C sort | xargs sha256sum)
    "$WINE_BIN" reg export "$key" 'C:\key.reg' /y </dev/null >/dev/null 2>&1 || echo "no key"
    if [ -f "$WINEPREFIX/drive_c/key.reg" ]; then sha256sum <"$WINEPREFIX/drive_c/key.reg"; fi
    rm -f "$WINEPREFIX/drive_c/key.reg"
}
planted >"$work/planted-before"

printf 'check-test-bundle: running C:\\%s\\run-tests.cmd\n' "$name"
started=$(date +%s)
{
    status=0
    (cd "$WINEPREFIX/drive_c/$name" && "$WINE_BIN" cmd /c run-tests.cmd </dev/null 2>&1) || status=$?
    echo "$status" >"$work/status"
} | tr -d '\r' >"$work/output.txt"
cat "$work/output.txt"
seconds=$(($(date +%s) - started))
planted >"$work/planted-after"

problems=""
summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$' "$work/output.txt" | tail -n 1 || true)
[ -n "$summary" ] || problems="$problems; no summary line"
passed=$(echo "$summary" | sed -n 's/^\([0-9]*\) passed.*/\1/p')
failed=$(echo "$summary" | sed -n 's/.* \([0-9]*\) failed.*/\1/p')
skipped=$(echo "$summary" | sed -n 's/.* \([0-9]*\) skipped$/\1/p')
bin="$WINEPREFIX/drive_c/$name/bin"
reported=0
programs=0
for program in $(sed -n 's/^call :program [0-9]* \([^ \r]*\).*/\1/p' "$WINEPREFIX/drive_c/$name/run-tests.cmd"); do
    programs=$((programs + 1))
    if [ ! -f "$bin/$program.xml" ]; then
        problems="$problems; $program left no report"
        continue
    fi
    reported=$((reported + $(grep -c '<testcase ' "$bin/$program.xml")))
done
[ "${failed:-1}" = 0 ] || problems="$problems; ${failed:-?} failed"
[ "$(cat "$work/status")" = 0 ] || problems="$problems; run-tests.cmd exited with status $(cat "$work/status")"
[ $((${passed:-0} + ${skipped:-0})) = "$reported" ] ||
    problems="$problems; $((${passed:-0} + ${skipped:-0})) passed or skipped of the $reported cases the reports list"
cmp -s "$work/planted-before" "$work/planted-after" ||
    problems="$problems; the planted history or registry value changed: $(diff "$work/planted-before" "$work/planted-after" | tr '\n' ' ')"
[ ! -e "$WINEPREFIX/drive_c/$name/saved-state" ] || problems="$problems; saved-state was left behind"

echo "check-test-bundle: $summary ($programs programs, $reported cases listed, $seconds s)"
if [ -n "$problems" ]; then
    echo "check-test-bundle: FAILED${problems}" >&2
    exit 1
fi
echo "check-test-bundle: passed; the planted history, the file beside it and the registry value are unchanged"
