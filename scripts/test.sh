#!/bin/sh
# The test command: set up the machine, build, and run every test through ctest under Wine.
# Extra arguments go to ctest. Exits non-zero when anything fails.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
SCRIPTS_DIR="$root/scripts"
# CMake and ctest take their presets from the working folder.
cd "$root"
. "$SCRIPTS_DIR/wine-env.sh"

plexmoor_build
wine_env "$build"
trap wine_session_end EXIT
trap 'exit 130' INT TERM
echo "test: preparing Wine"
wine_session_begin "$build"
wine_windows_unmanaged

ctest --preset mingw "$@"
