#!/bin/sh
# The test command: set up the machine, build, and run every test through ctest under Wine.
# Exits non-zero when anything fails.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
SCRIPTS_DIR="$root/scripts"

"$root/scripts/setup.sh"
cmake --preset mingw -S "$root" >/dev/null
cmake --build --preset mingw

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

# Wine's services must be running before ctest starts them: otherwise they inherit ctest's
# output pipe and ctest waits for them forever.
wine_prefix_ready
wine_server_start

cd "$root"
ctest --preset mingw "$@"
