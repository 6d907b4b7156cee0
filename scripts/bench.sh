#!/bin/sh
# Prints the benchmark figures: plug-in inspection and folder scan, start-up against an empty
# dialog program, and each program's size and imported DLLs. Nothing here passes or fails.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
SCRIPTS_DIR="$root/scripts"

"$root/scripts/setup.sh"
cmake --preset mingw -S "$root" >/dev/null
cmake --build --preset mingw --target Plexmoor2 Plexmoor1 inspect_bench startup_bench >/dev/null

. "$SCRIPTS_DIR/wine-env.sh"
wine_env "$build"
started_xvfb=""
if [ -z "${DISPLAY:-}" ]; then
    xvfb_start "$build"
    started_xvfb=1
fi
cleanup() {
    wine_server_stop
    [ -n "$started_xvfb" ] && xvfb_stop "$build"
    return 0
}
trap cleanup EXIT INT TERM
wine_prefix_ready
wine_server_start

echo "== executables (stripped) =="
for exe in Plexmoor2 Plexmoor1; do
    f="$build/bin/$exe.exe"
    size=$(stat -c %s "$f")
    imports=$(x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')
    printf '  %s.exe: %d bytes (%d KiB); imports: %s\n' "$exe" "$size" $((size / 1024)) "$imports"
done
echo "== inspection and folder scan =="
"$WINE_BIN" "$build/bin/inspect_bench.exe" </dev/null 2>&1 | tr -d '\r'
echo "== start-up =="
"$WINE_BIN" "$build/bin/startup_bench.exe" </dev/null 2>&1 | tr -d '\r'
