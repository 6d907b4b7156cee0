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
# The loader names a library it cannot load; every other Wine message stays off.
export WINEDEBUG=-all,err+module

wine_prefix_ready
wine_server_start
started=$(date +%s%N)
status=0
"$WINE_BIN" "$@" || status=$?
ms=$((($(date +%s%N) - started) / 1000000))
# A program that ends before it can say anything leaves ctest with nothing but its status.
if [ "$status" -ne 0 ]; then
    why=""
    if [ "$status" -eq 53 ]; then
        why="; a library it imports could not be loaded (Windows status 0xC0000135)"
    elif [ "$status" -gt 128 ]; then
        why="; Wine was ended by signal $((status - 128))"
    fi
    echo "wine-launch: $(basename "$1") ended with status $status after $ms ms$why" >&2
fi
exit $status
