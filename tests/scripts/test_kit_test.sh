#!/bin/sh
# test_kit_test.sh ZIP: unzips the Windows test kit ZIP into a new folder
# and runs its run-tests.cmd through Wine's cmd, as on a fresh Windows: in
# a new Wine prefix that nothing has prepared, with only the environment
# that scripts/wine-run sets. Fails unless the run ends with 0 and its last
# line counts what the test programs' XML reports count, no test failed,
# the tests that start Sealmark.exe ran in both sets, every skip gave its
# reason, and the prefix's .txt opener and short date format are after the
# run as they were before. Then a kit without its test programs must end
# with an error, counting each as a failed test.
set -u
[ $# -eq 1 ] || { echo "usage: test_kit_test.sh ZIP" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d) || exit 1
export WINEPREFIX="$work/prefix"
trap '"$root/scripts/wine-prefix" remove "$WINEPREFIX"; rm -rf "$work"' EXIT
status=0
fail() {
  printf "FAIL: %s\n" "$*"
  status=1
}

# The .txt opener, as the shell finds it, the short date format, and the
# keys where the runner keeps what it puts back and where Wine takes the
# Windows version that it reports to a program.
cat >"$work/settings.cmd" <<'EOF'
@echo off
reg query HKCR\.txt /s
reg query HKCR\txtfile /s
reg query HKCR\Sealmark.TestRecorder /s
reg query "HKCU\Control Panel\International" /v sShortDate
reg query HKCU\Software\Sealmark /s
reg query HKCU\Software\Wine\AppDefaults /s
EOF
# Writes them to the file $1; fails where they differ from those in the
# file $2, where one is named.
settings() {
  (cd "$work" && "$root/scripts/wine-run" cmd /c settings.cmd) 2>&1 | tr -d '\r' |
    grep -v '^wine: ' >"$work/$1"
  if [ $# -eq 2 ] && ! diff -u "$work/$2" "$work/$1"; then
    fail "the .txt opener, the short date format or another key changed"
  fi
}

# Runs the kit's run-tests.cmd: what it printed in $work/printed, its
# exit code in $code, its last line in $last.
run_kit() {
  (cd "$kit" && "$root/scripts/wine-run" cmd /c run-tests.cmd) >"$work/output" 2>&1
  code=$?
  tr -d '\r' <"$work/output" >"$work/printed"
  last=$(tail -n 1 "$work/printed")
}

settings before
unzip -q "$1" -d "$work/kit" || exit 1
kit=$work/kit/$(basename "$1" .zip)
run_kit
cat "$work/printed"
settings after before

[ "$code" -eq 0 ] || fail "run-tests.cmd ended with $code"
# The test cases that passed, failed and skipped, as the XML reports tell.
counted=$(awk '
  { sub(/\r$/, "") }
  /<testcase / { open = 1; failed = 0; skipped = /result="skipped"/ }
  open && /<failure/ { failed = 1 }
  open && (/<testcase .*\/>$/ || /<\/testcase>/) {
    open = 0
    if (failed) f++; else if (skipped) s++; else p++
  }
  END { printf "%d passed, %d failed, %d skipped", p, f, s }' "$kit"/results/*.xml)
[ "$last" = "$counted" ] || fail "the last line says \"$last\", the XML reports \"$counted\""
case "$last" in
  *" passed, 0 failed, "*) ;;
  *) fail "tests failed: $last" ;;
esac
for set in win32 win64; do
  grep -q 'name="ConfirmsAnIntactSet".*result="completed"' "$kit/results/$set-e2e.xml" ||
    fail "$set: the intact data set was not checked by Sealmark.exe"
done
if grep -q "would not start the recorder" "$work/printed"; then
  fail "tests that start Sealmark.exe skipped for want of the recorder"
fi
if grep -o '<skipped message="[^"]*"' "$kit"/results/*.xml | grep -v '&#x0A;[^"]'; then
  fail "skips without a reason"
fi
if grep -q "no reason given" "$work/printed" ||
   [ "$(grep -c '^  skipped ' "$work/printed")" -ne "$(echo "$last" | sed 's/.* \([0-9]*\) skipped$/\1/')" ]; then
  fail "run-tests.cmd does not list every skip with its reason"
fi
# Without its test programs the kit fails, counting each as a failed test,
# and still puts back what it changed: here a .txt file type that was there.
for value in "/ve /d txtfile" "/v PerceivedType /d text"; do
  # shellcheck disable=SC2086
  "$root/scripts/wine-run" reg add 'HKLM\Software\Classes\.txt' $value /f >/dev/null
done
settings before-failures
rm "$kit"/win32/*_tests.exe "$kit"/win64/*_tests.exe
run_kit
[ "$code" -ne 0 ] && [ "$last" = "0 passed, 4 failed, 0 skipped" ] ||
  fail "a kit without test programs ended with $code, saying \"$last\""
settings after-failures before-failures

[ $status -eq 0 ] && echo "The kit ran as on a fresh Windows: $counted, and left the settings as they were."
exit $status
