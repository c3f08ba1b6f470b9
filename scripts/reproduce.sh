#!/bin/sh
# Builds the release zip twice from clean clones of the current commit (what
# is not committed takes no part) in two different folders and compares the
# results byte for byte: both Sealmark.exe files, the zip and its sums. Prints
# their SHA-256 sums. Where the win32 and win64 presets have been built, their
# Sealmark.exe, the programs that their tests ran, must be the released ones.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for clone in "$work/a" "$work/second/b"; do
  git clone -q "$root" "$clone"
  "$clone/scripts/package.sh" >/dev/null
done
zip=$(cd "$work/a/build" && ls Sealmark-*-windows.zip)
status=0
for file in "$zip" SHA256SUMS package/stage/Sealmark.exe package/stage/x64/Sealmark.exe; do
  if cmp -s "$work/a/build/$file" "$work/second/b/build/$file"; then
    echo "same      $(cd "$work/a/build" && sha256sum "$file")"
  else
    echo "DIFFERENT $file"
    status=1
  fi
done
# The programs that the Windows tests ran, where they were built.
for preset in win32 win64; do
  tested=build/$preset/Sealmark.exe
  released=package/stage/Sealmark.exe
  [ "$preset" = win64 ] && released=package/stage/x64/Sealmark.exe
  if [ ! -f "$tested" ]; then
    echo "unbuilt   $tested: no tested program to compare"
    continue
  fi
  if cmp -s "$tested" "$work/a/build/$released"; then
    echo "same      $tested, the program the tests ran, as $released"
  else
    echo "DIFFERENT $tested, the program the tests ran, from $released"
    status=1
  fi
done
exit $status
