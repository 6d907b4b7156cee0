#!/bin/sh
# Builds the Windows test bundle: dist/Plexmoor-<version>-tests.zip holds the programs' folder
# of the test build (the test programs, the fixture plug-ins, the two programs they test),
# run-tests.cmd, which runs every test program as ctest does, and Plexmoor-tests.wsb for Windows
# Sandbox. What goes in is what the build tree holds and ctest lists, so new tests and fixtures
# travel without this script knowing them. Like the release zip, the same commit gives the same
# bytes: entries in a fixed order, each with the commit's time, fixed permissions, no extra
# attributes.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
SCRIPTS_DIR="$root/scripts"
cd "$root"
. "$SCRIPTS_DIR/wine-env.sh"

epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)}
if [ -z "$epoch" ]; then
    echo "package-tests: no commit time to stamp the zip with (not a git clone): set SOURCE_DATE_EPOCH" >&2
    exit 1
fi
BUILD_LOG="$build/package-tests.log" plexmoor_build

version=$(sed -n 's/^project(Plexmoor VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name="Plexmoor-$version-tests"
package="$build/test-package"
stage="$package/$name"
rm -rf "$package"
mkdir -p "$stage/bin"

# A file linked under several names (the folder of 10,000 plug-ins) travels once; links.txt
# names the others and run-tests.cmd makes them again.
links="$package/links.txt"
copies="$package/copies.txt"
(cd "$build/bin" && find . \( -type f -o -type l \) -printf '%P|%y|%i|%n|%l\n') | LC_ALL=C sort |
    awk -F'|' -v bin="$build/bin/" -v links="$links" -v copies="$copies" '
        $2 == "l" { target = $5; sub("^" bin, "", target); print $1 "|" target >links; next }
        $4 > 1 && ($3 in first) { print $1 "|" first[$3] >links; next }
        $4 > 1 { first[$3] = $1 }
        { print $1 >copies }'
tar -C "$build/bin" -cf - -T "$copies" | tar -C "$stage/bin" -xf -
if [ -s "$links" ]; then
    tr '/' '\\' <"$links" | sed 's/$/\r/' >"$stage/bin/links.txt"
fi

ctest --test-dir "$build" --show-only=json-v1 >"$package/tests.json"
cmake -DTESTS="$package/tests.json" -DPRESETS="$root/CMakePresets.json" -DBIN="$build/bin" \
    -DEMULATOR="$SCRIPTS_DIR/wine-launch.sh" \
    -DVERSION="$version" -DTEMPLATE="$root/tests/bundle/run-tests.cmd.in" -DOUTPUT="$stage/run-tests.cmd" \
    -P "$root/tests/bundle/bundle_programs.cmake"
sed "s/@NAME@/$name/g; s/\$/\r/" "$root/tests/bundle/Plexmoor-tests.wsb.in" >"$stage/Plexmoor-tests.wsb"

find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
# zip keeps local time: UTC makes the stamp the same on every machine.
find "$stage" -exec touch -h -d "@$epoch" {} +

dist="$root/dist"
zip="$dist/$name.zip"
mkdir -p "$dist"
rm -f "$zip"
(cd "$package" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X "$zip" -@)
echo "$zip"
