#!/bin/sh
# check_layers_test.sh CHECK_LAYERS: one upward include planted in a
# scratch tree fails, named by its place. (The layers test on src shows that
# includes that run down, and system headers, pass.)
set -u
tree=$(mktemp -d) || exit 1
trap 'rm -rf "$tree"' EXIT
mkdir "$tree/platform" "$tree/host" "$tree/check" "$tree/frame"
printf '#include <check/run_check.h>\n' >"$tree/host/os_text.cpp"
found=$("$1" "$tree") && { echo "FAIL: an upward include passes"; exit 1; }
echo "$found" | grep -q '^host/os_text.cpp:1:#include <check/run_check.h>: ' ||
  { echo "FAIL: the upward include is not named: $found"; exit 1; }
echo "$found"
