#!/bin/sh
# check_format_test.sh CHECK_FORMAT: one badly laid out file in a scratch
# git checkout fails the check, named by its place. (The format test on the
# project shows that files laid out right pass.) Exits 77, a skip, where
# clang-format or git is missing.
set -u
for tool in clang-format git; do
  command -v $tool >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done
tree=$(mktemp -d) || exit 1
trap 'rm -rf "$tree"' EXIT
cp "$(dirname "$1")/../.clang-format" "$tree/"
printf 'int  main( ){return 0;}\n' >"$tree/bad.cpp"
git -C "$tree" init -q && git -C "$tree" add . || exit 1
found=$("$1" "$tree" 2>&1)
code=$?
[ "$code" -eq 1 ] || { echo "FAIL: the check ended with $code for a badly laid out file: $found"; exit 1; }
echo "$found" | grep -q '^bad.cpp:1:' || { echo "FAIL: the file is not named: $found"; exit 1; }
echo "$found"
