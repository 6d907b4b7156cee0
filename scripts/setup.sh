#!/bin/sh
# Installs what the cross-build and the Wine test bed need on Debian 12. Safe to run again:
# nothing is fetched when every package is present and the locale exists.
# A step that fails stops here: the tool's own messages, then one line naming the step.
set -eu

packages="cmake make g++-mingw-w64-x86-64-win32 lld g++-mingw-w64-i686-posix mingw-w64-tools
wine64 fonts-wine xvfb xauth x11-utils locales fonts-noto-cjk googletest imagemagick zip unzip"

SUDO=""
[ "$(id -u)" = 0 ] || SUDO="sudo"

failed() {
    echo "setup: $1 failed" >&2
    exit 1
}

# Runs a step quietly (apt's notes, such as debconf's on a machine without apt-utils, are no
# news); on failure its output is shown, then the step is named.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
quietly() {
    what=$1
    shift
    "$@" >"$log" 2>&1 && return 0
    cat "$log" >&2
    failed "$what"
}

missing_packages() {
    missing=""
    for p in $packages; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
}

missing_packages
if [ -n "$missing" ]; then
    # Two commands started together (a run and a test, say) install one after the other, and
    # apt waits for any other user of dpkg instead of failing at once.
    exec 9>/tmp/plexmoor-setup.lock
    flock 9
    missing_packages
fi
if [ -n "$missing" ]; then
    echo "setup: installing packages:$missing"
    quietly "updating the package lists (apt-get update)" $SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
    quietly "installing packages (apt-get install)" $SUDO env DEBIAN_FRONTEND=noninteractive \
        apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends $missing
fi

# Wine reports code page 932 only when glibc knows the Japanese UTF-8 locale.
has_locale() {
    locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'
}
if ! has_locale; then
    echo "setup: generating the ja_JP.UTF-8 locale"
    if ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null ||
            failed "adding ja_JP.UTF-8 to /etc/locale.gen"
    fi
    quietly "generating the ja_JP.UTF-8 locale (locale-gen)" $SUDO locale-gen
    has_locale || failed "generating the ja_JP.UTF-8 locale (locale-gen ended, locale -a does not list it)"
fi
