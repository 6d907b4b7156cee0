#!/bin/sh
# Prints the benchmark figures: plug-in inspection and folder scan, start-up against an empty
# dialog program, and each program's size and imported DLLs. Nothing here passes or fails.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
SCRIPTS_DIR="$root/scripts"

. "$SCRIPTS_DIR/wine-env.sh"

plexmoor_build Plexmoor2 Plexmoor1 inspect_bench startup_bench >/dev/null
wine_env "$build"
trap wine_session_end EXIT
trap 'exit 130' INT TERM
wine_session_begin "$build"

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
