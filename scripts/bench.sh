#!/bin/sh
# Prints the benchmark figures: the run command from a fresh clone, each program's size and
# imported DLLs, plug-in inspection, folder scan and the search for a dropped picture's plug-in,
# and start-up against an empty dialog program. Nothing here passes or fails.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
SCRIPTS_DIR="$root/scripts"
# CMake and ctest take their presets from the working folder.
cd "$root"

. "$SCRIPTS_DIR/wine-env.sh"

plexmoor_build Plexmoor2 Plexmoor1 inspect_bench startup_bench >/dev/null

clone=$(mktemp -d)
trap 'rm -rf "$clone"; wine_session_end' EXIT
trap 'exit 130' INT TERM

# What a newcomer waits for once the packages are there: a clone of the committed tree, its
# headless run command, from an empty build folder to the saved screenshot. Each line of the
# command's own output is shown with the time it appeared.
echo "== run command from a fresh clone (packages already installed) =="
git clone -q "$root" "$clone/plexmoor"
start=$(date +%s%N)
{ env -u DISPLAY sh "$clone/plexmoor/scripts/run.sh" 2>&1 || echo "exit status $?"; } |
    while IFS= read -r line; do
        ms=$((($(date +%s%N) - start) / 1000000))
        printf '  %3d.%d s  %s\n' $((ms / 1000)) $((ms % 1000 / 100)) "$line"
    done
ms=$((($(date +%s%N) - start) / 1000000))
printf '  %d.%d s in all\n' $((ms / 1000)) $((ms % 1000 / 100))
rm -rf "$clone"

wine_env "$build"
wine_session_begin "$build"

echo "== executables (stripped; the import test's limit is 163840 bytes) =="
for exe in Plexmoor2 Plexmoor1; do
    f="$build/bin/$exe.exe"
    size=$(stat -c %s "$f")
    imports=$(x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')
    printf '  %s.exe: %d bytes (%d KiB); imports: %s\n' "$exe" "$size" $((size / 1024)) "$imports"
done
echo "== inspection, folder scan and search for a picture's plug-in =="
"$WINE_BIN" "$build/bin/inspect_bench.exe" </dev/null 2>&1 | tr -d '\r'
echo "== start-up =="
"$WINE_BIN" "$build/bin/startup_bench.exe" </dev/null 2>&1 | tr -d '\r'
