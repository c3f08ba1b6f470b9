#!/bin/sh
# check_layers_test.sh CHECK_LAYERS: a scratch tree whose includes run down
# the layers passes; one planted upward include fails, named by its place.
set -u
tree=$(mktemp -d) || exit 1
trap 'rm -rf "$tree"' EXIT
mkdir "$tree/platform" "$tree/host" "$tree/check" "$tree/frame"
printf '#include <sys/stat.h>\n#include "platform/system.h"\n' >"$tree/host/os_text.cpp"
"$1" "$tree" >/dev/null || { echo "FAIL: a tree whose includes run down is refused"; exit 1; }
printf '#include <check/run_check.h>\n' >>"$tree/host/os_text.cpp"
found=$("$1" "$tree") && { echo "FAIL: an upward include passes"; exit 1; }
echo "$found" | grep -q '^host/os_text.cpp:3:#include <check/run_check.h>: ' ||
  { echo "FAIL: the upward include is not named: $found"; exit 1; }
echo "$found"
