#!/bin/sh
# Builds the release download: dist/Plexmoor-<version>-win64.zip with both programs and the user
# guide in Japanese and English (UTF-8 with BOM and CR LF, as Windows editors expect), and
# dist/SHA256SUMS for the zip and both programs in it.
# The same commit gives the same bytes wherever and whenever it is packaged: the programs are
# linked without a time stamp, and the zip holds its entries in a fixed order, each with the
# commit's time and fixed permissions, and no extra attributes.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-release"
"$root/scripts/setup.sh"

epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)}
if [ -z "$epoch" ]; then
    echo "package: no commit time to stamp the zip with (not a git clone): set SOURCE_DATE_EPOCH" >&2
    exit 1
fi

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DPLEXMOOR_WERROR=ON -DPLEXMOOR_TESTS=OFF >/dev/null
cmake --build "$build" --target Plexmoor2 Plexmoor1 -j2 >/dev/null

version=$(sed -n 's/^project(Plexmoor VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name="Plexmoor-$version-win64"
package="$build/package"
stage="$package/$name"
rm -rf "$package"
mkdir -p "$stage"
cp "$build/bin/Plexmoor2.exe" "$build/bin/Plexmoor1.exe" "$stage/"
for lang in ja en; do
    { printf '\357\273\277'; sed 's/$/\r/' "$root/docs/guide-$lang.txt"; } >"$stage/README-$lang.txt"
done
chmod 755 "$stage"
chmod 644 "$stage"/*
# zip keeps local time: UTC makes the stamp the same on every machine.
find "$stage" -exec touch -d "@$epoch" {} +

dist="$root/dist"
zip="$dist/$name.zip"
mkdir -p "$dist"
rm -f "$zip" "$dist/SHA256SUMS"
(cd "$package" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X "$zip" -@)
# The paths are those the zip unpacks to, so "sha256sum -c SHA256SUMS" checks the programs
# once it is unpacked beside the file.
(cd "$dist" && sha256sum "$name.zip") >"$dist/SHA256SUMS"
(cd "$package" && sha256sum "$name/Plexmoor2.exe" "$name/Plexmoor1.exe") >>"$dist/SHA256SUMS"
echo "$zip"
echo "$dist/SHA256SUMS"
