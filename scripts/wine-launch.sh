#!/bin/sh
# The cross-compiling emulator: runs one Windows program of the build tree under Wine.
# Usage: wine-launch.sh <build dir> <program.exe> [arguments...]
set -eu
build=$1
shift
SCRIPTS_DIR=$(cd "$(dirname "$0")" && pwd)
. "$SCRIPTS_DIR/wine-env.sh"
wine_env "$build"
own_xvfb=""
end_own_xvfb() {
    if [ -n "$own_xvfb" ]; then
        xvfb_stop "$own_xvfb"
        rmdir "$own_xvfb" 2>/dev/null || true
    fi
}
trap end_own_xvfb EXIT
trap 'exit 130' INT TERM
if [ -z "${DISPLAY:-}" ]; then
    own_xvfb="$build/launch-$$"
    xvfb_start "$own_xvfb"
fi
wine_prefix_ready
wine_server_start
status=0
"$WINE_BIN" "$@" || status=$?
exit $status
