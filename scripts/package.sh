#!/bin/sh
# Builds the release download: Plexmoor-<version>-win64.zip with both programs and the user
# guide in Japanese and English (UTF-8 with BOM and CR LF, as Windows editors expect).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-release"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DPLEXMOOR_WERROR=ON -DPLEXMOOR_TESTS=OFF >/dev/null
cmake --build "$build" --target Plexmoor2 Plexmoor1 -j2

version=$(sed -n 's/^project(Plexmoor VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name="Plexmoor-$version-win64"
stage="$build/package/$name"
rm -rf "$build/package"
mkdir -p "$stage"
cp "$build/bin/Plexmoor2.exe" "$build/bin/Plexmoor1.exe" "$stage/"
for lang in ja en; do
    { printf '\357\273\277'; sed 's/$/\r/' "$root/docs/guide-$lang.txt"; } >"$stage/README-$lang.txt"
done
zip="$root/dist/$name.zip"
mkdir -p "$root/dist"
rm -f "$zip"
(cd "$build/package" && zip -q -r -X "$zip" "$name")
echo "$zip"
