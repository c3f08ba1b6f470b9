#!/bin/sh
# Builds both Windows presets and makes the release zip: Sealmark.exe (32-bit)
# with x64/Sealmark.exe beside it. Prints the zip's path and contents.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in win64 win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target sealmark -j "$(nproc)" >/dev/null
done
(cd build/win32 && cpack -C Release >/dev/null)
zip=$(ls build/win32/Sealmark-*-windows.zip)
echo "$zip"
cmake -E tar tf "$zip"
