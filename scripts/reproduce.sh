#!/bin/sh
# Builds the release zip twice from clean clones of the current commit in two
# different folders and compares the results byte for byte: both
# Sealmark.exe files and the zip itself. Prints their SHA-256 sums.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for clone in "$work/a" "$work/second/b"; do
  git clone -q "$root" "$clone"
  "$clone/scripts/package.sh" >/dev/null
done
status=0
for file in Sealmark-*-windows.zip package/stage/Sealmark.exe package/stage/x64/Sealmark.exe; do
  first=$(cd "$work/a/build" && ls $file)
  if cmp -s "$work/a/build/$first" "$work/second/b/build/$first"; then
    echo "same      $(cd "$work/a/build" && sha256sum "$first")"
  else
    echo "DIFFERENT $first"
    status=1
  fi
done
exit $status
