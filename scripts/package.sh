#!/bin/sh
# Builds the two Windows programs alone with their release presets (no tests,
# no benchmarks; the win32 and win64 presets test the same programs) and
# makes the release zip build/Sealmark-<version>-windows.zip: Sealmark.exe of
# the 32-bit build, x64/Sealmark.exe of the 64-bit build, and SHA256SUMS of
# both.
# The zip's bytes depend on nothing but the programs: its files have fixed
# times, modes and order. Prints the zip's path and contents.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
stage=build/package/stage
rm -rf build/package
for preset in win32 win64; do
  cmake --preset "release-$preset" -B "build/package/$preset" >/dev/null
  cmake --build "build/package/$preset" -j "$(nproc)" >/dev/null
done
cmake --install build/package/win32 --prefix "$stage" >/dev/null
cmake --install build/package/win64 --prefix "$stage/x64" >/dev/null

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package/win32/CMakeCache.txt)
zip=$(pwd)/build/Sealmark-$version-windows.zip
files="Sealmark.exe x64/Sealmark.exe SHA256SUMS"
(
  cd "$stage"
  sha256sum Sealmark.exe x64/Sealmark.exe >SHA256SUMS
  chmod 644 $files
  export TZ=UTC
  touch -d 2000-01-01T00:00:00 $files
  rm -f "$zip"
  zip -q -X -D "$zip" $files
)
echo "$zip"
unzip -l "$zip"
