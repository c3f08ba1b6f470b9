#!/bin/sh
# test_kit_test.sh ZIP: unzips the Windows test kit ZIP into a new folder
# and runs its run-tests.cmd through Wine's cmd, as on a fresh Windows: in
# a new Wine prefix that nothing has prepared, with only the environment
# that scripts/wine-run sets, and GTEST_FILTER naming no test. Fails unless
# the run ends with 0 and its last line counts what the test programs' XML
# reports count, no test failed, the planted DLL's tests and those that
# start Sealmark.exe ran in both sets, every skip gave its reason, the
# user's own results folders and HKCU\Software\Sealmark are kept, and the
# prefix's .txt opener and short date format are after the run as they
# were before. Then, each with its own check: a .txt UserChoice, with and
# without --strict; a run ended while the recorder opens .txt files, and
# the next; records that a run cut short leaves; and test programs that
# change the short date format and end without their summary. No run may
# leave its temporary folder.
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
wine() { "$root/scripts/wine-run" "$@"; }

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
  (cd "$work" && wine cmd /c settings.cmd) 2>&1 | tr -d '\r' | grep -v '^wine: ' >"$work/$1"
  grep -q sShortDate "$work/$1" || fail "the settings cannot be read: $(cat "$work/$1")"
  if [ $# -eq 2 ] && ! diff -u "$work/$2" "$work/$1"; then
    fail "the .txt opener, the short date format or another key changed"
  fi
}
# The .txt opener and the short date format in the settings file $1.
opener() { awk '/^HKEY_CLASSES_ROOT\\.txt$/ { getline; print $NF; exit }' "$work/$1"; }
short_date() { awk '$1 == "sShortDate" { print $NF; exit }' "$work/$1"; }

# Runs the kit's run-tests.cmd with the arguments given: what it printed in
# $work/printed, its exit code in $code, its last line in $last.
run_kit() {
  (cd "$kit" && wine cmd /c run-tests.cmd "$@") >"$work/output" 2>&1
  code=$?
  tr -d '\r' <"$work/output" >"$work/printed"
  last=$(tail -n 1 "$work/printed")
  left=$(find "$WINEPREFIX/drive_c/users" -name 'sealmark-tests-*')
  [ -z "$left" ] || fail "the run left its temporary folder $left"
}
says() { grep -qF -- "$1" "$work/printed" || fail "$2: the console did not say \"$1\""; }

unzip -q "$1" -d "$work/kit" || exit 1
kit=$work/kit/$(basename "$1" .zip)
[ -f "$kit/run-tests.cmd" ] || { fail "the zip has no folder $(basename "$1" .zip) of its own"; exit 1; }
# Folders of the user's: results beside the kit's folder, where "Extract
# Here" puts it, and in the kit's folder. The results go to results-2.
for folder in "$work/kit/results" "$kit/results"; do
  mkdir -p "$folder" && echo mine >"$folder/mine.txt"
done
results=$kit/results-2
settings before
export GTEST_FILTER=NoSuchTest
run_kit
unset GTEST_FILTER
cat "$work/printed"
settings after before
for folder in "$work/kit/results" "$kit/results"; do
  [ "$(ls "$folder")" = mine.txt ] && [ "$(cat "$folder/mine.txt")" = mine ] ||
    fail "the user's $folder is not as it was: $(ls "$folder")"
done
says "The results go to" "results of the user's"

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
  END { printf "%d passed, %d failed, %d skipped", p, f, s }' "$results"/*.xml)
[ "$last" = "$counted" ] || fail "the last line says \"$last\", the XML reports \"$counted\""
case "$last" in
  *" passed, 0 failed, "*) ;;
  *) fail "tests failed: $last" ;;
esac
for set in win32 win64; do
  for test in ConfirmsAnIntactSet LoadsNoDllPlantedBesideIt; do
    grep -q "name=\"$test\".*result=\"completed\"" "$results/$set-e2e.xml" ||
      fail "$set: $test did not run"
  done
done
if grep -q "would not start the recorder" "$work/printed"; then
  fail "tests that start Sealmark.exe skipped for want of the recorder"
fi
# Every skip is listed with its reason.
skips_listed() {
  if grep -o '<skipped message="[^"]*"' "$results"/*.xml | grep -v '&#x0A;[^"]'; then
    fail "skips without a reason"
  fi
  if grep -q "no reason given" "$work/printed" ||
     [ "$(grep -c '^  skipped ' "$work/printed")" -ne "$(echo "$last" | sed 's/.* \([0-9]*\) skipped$/\1/')" ]; then
    fail "run-tests.cmd does not list every skip with its reason"
  fi
}
skips_listed

# A .txt UserChoice: the tests that start Sealmark.exe skip, each naming
# it; with --strict each fails. The second run keeps a file of the user's
# in the first one's results and replaces what that run wrote.
choice='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.txt\UserChoice'
wine reg add "$choice" /v ProgId /d txtfile /f >/dev/null
echo mine >"$results/mine.txt"
run_kit
[ "$code" -eq 0 ] || fail "with a .txt UserChoice run-tests.cmd ended with $code: $last"
skipped=$(grep -c '^  skipped .*: the shell would not start the recorder: the user has chosen' "$work/printed")
[ "$skipped" -gt 0 ] || fail "no test skipped for the .txt UserChoice"
skips_listed
[ -f "$results/mine.txt" ] || fail "a second run removed the user's file from the first one's results"
grep -q "UserChoice" "$results/run-tests.txt" || fail "a second run left the first one's run-tests.txt"
run_kit --strict
[ "$code" -ne 0 ] || fail "with a .txt UserChoice, run-tests.cmd --strict ended with 0"
says "--strict: the tests that start Sealmark.exe fail: " "--strict"
[ "$(grep -c '^  failed  .* (--strict: it would skip): ' "$work/printed")" -eq "$skipped" ] ||
  fail "--strict did not fail the $skipped tests that skip for the UserChoice"
wine reg delete "$choice" /f >/dev/null

# Ended while the recorder opens .txt files, the run leaves its record,
# from which the next run puts back a .txt file type that was there. From
# here on a key of the user's is at HKCU\Software\Sealmark.
for value in "/ve /d txtfile" "/v PerceivedType /d text"; do
  # shellcheck disable=SC2086
  wine reg add 'HKLM\Software\Classes\.txt' $value /f >/dev/null
done
wine reg add 'HKCU\Software\Sealmark' /v Mine /d kept /f >/dev/null
settings before-cut
rm -f "$results/win32-unit.txt"
(cd "$kit" && wine cmd /c run-tests.cmd) >"$work/output" 2>&1 &
for _ in $(seq 120); do
  [ -f "$results/win32-unit.txt" ] && break
  sleep 0.5
done
settings cut
# Meanwhile a second run changes nothing.
(cd "$kit" && wine cmd /c run-tests.cmd) >"$work/second" 2>&1 && fail "a second run at once ended with 0"
grep -q "^Another run of the tests is under way; nothing was done." "$work/second" ||
  fail "a second run at once said: $(cat "$work/second")"
wine taskkill /f /im kit_runner.exe >/dev/null 2>&1
wait
# Wine run by root keeps a test's file from being read with the immutable
# flag, which no Windows program can clear: a test ended then leaves it.
chattr -R -i "$WINEPREFIX/drive_c/users" 2>/dev/null
[ "$(opener cut)" = Sealmark.TestRecorder ] ||
  fail "the run was not ended while the recorder opened .txt files"
rm "$kit"/win32/*_tests.exe "$kit"/win64/*_tests.exe
run_kit
says "An earlier run was cut short; from its record of HKLM\\Software\\Classes\\.txt:" "cut short"
[ "$code" -ne 0 ] && [ "$last" = "0 passed, 4 failed, 0 skipped" ] ||
  fail "a kit without test programs ended with $code, saying \"$last\""
settings after-cut before-cut

# Records that a run cut short leaves, planted one by one over what it
# had set: what it keeps of each key (values, "Was there" and the mark
# that the record is whole), the short date format that it finds, and the
# .txt opener and short date format after, with what the console says.
date=$(short_date before-cut)
record='HKCU\Software\Sealmark\Test kit'
plant() {
  for key in 'HKLM\Software\Classes\.txt' 'HKCU\Control Panel\International'; do
    kept="$record\\$(echo "$key" | sed 's|\\|/|g')"
    case $1 in *values*) echo "reg copy \"$key\" \"$kept\\Values\" /f" ;; esac
    case $1 in *was*) echo "reg add \"$kept\" /v \"Was there\" /t REG_DWORD /d 1 /f" ;; esac
    case $1 in *whole*) echo "reg add \"$kept\" /v Whole /t REG_DWORD /d 1 /f" ;; esac
  done
  echo "reg add \"$record\\HKLM/Software/Classes/.txt\\Set\\@\" /v Sealmark.TestRecorder /f"
  echo "reg add \"$record\\HKCU/Control Panel/International\\Set\\sShortDate\" /v yyyy-MM-dd /f"
  echo 'reg add HKLM\Software\Classes\.txt /ve /d Sealmark.TestRecorder /f'
  echo "reg add \"HKCU\\Control Panel\\International\" /v sShortDate /d $2 /f"
}
while IFS='|' read -r parts found txt_after date_after said ending <&3; do
  plant "$parts" "$found" >"$work/plant.cmd"
  (cd "$work" && wine cmd /c plant.cmd) >/dev/null 2>&1
  run_kit
  settings planted
  [ "$(opener planted)" = "$txt_after" ] && [ "$(short_date planted)" = "${date_after:-$date}" ] ||
    fail "$parts, $found found: .txt opens as $(opener planted), the short date is $(short_date planted)"
  says "$said" "$parts, $found found"
  [ "$last" = "$ending" ] || fail "$parts, $found found: the run ended \"$last\""
  wine reg delete "$record" /f >/dev/null 2>&1
  printf '%s\n' 'reg add HKLM\Software\Classes\.txt /ve /d txtfile /f' \
    "reg add \"HKCU\\Control Panel\\International\" /v sShortDate /d $date /f" >"$work/plant.cmd"
  (cd "$work" && wine cmd /c plant.cmd) >/dev/null 2>&1
done 3<<'EOF'
values was whole|yyyy-MM-dd|txtfile||put back HKCU\Control Panel\International sShortDate|0 passed, 4 failed, 0 skipped
values was whole|d.M.yy|txtfile|d.M.yy|kept HKCU\Control Panel\International sShortDate|0 passed, 4 failed, 0 skipped
was|yyyy-MM-dd|Sealmark.TestRecorder|yyyy-MM-dd|its incomplete record, HKCU\Software\Sealmark\Test kit\HKCU/Control Panel/International, was left alone|0 passed, 1 failed, 0 skipped
values was|yyyy-MM-dd|Sealmark.TestRecorder|yyyy-MM-dd|its incomplete record, HKCU\Software\Sealmark\Test kit\HKLM/Software/Classes/.txt, was left alone|0 passed, 1 failed, 0 skipped
EOF
settings after-planted before-cut

# Test programs that change the short date format and end without their
# summary, or with a summary but no XML report, each count as failed, and
# the next finds the format as it was. The version that the user had Wine
# report to os_text_probe.exe, which they remove, is put back.
for program in unit e2e; do
  cp "$root/build/win32/quits_early.exe" "$kit/win32/${program}_tests.exe" || exit 1
done
wine reg add 'HKCU\Software\Wine\AppDefaults\os_text_probe.exe' /v Version /d win7 /f >/dev/null
settings before-early
while IFS='|' read -r summary code problem <&3; do
  export QUITS_EARLY_SUMMARY="$summary" QUITS_EARLY_EXIT="$code"
  run_kit
  for program in unit e2e; do
    says "win32-$program: 0 passed, 1 failed, 0 skipped" "win32-$program, ended early"
    says "failed  win32-$program: $problem" "win32-$program, ended early"
    found=$(tr -d '\r' <"$results/win32-$program.txt" | head -n 1)
    [ "$found" = "short date format: $date" ] || fail "win32-$program found: $found"
  done
  settings after-early before-early
done 3<<'EOF'
|0|ended without its summary, with exit code 0
|3|ended without its summary, with exit code 3
[  PASSED  ] 1 test.|0|its XML report is missing or unreadable
EOF

[ $status -eq 0 ] && echo "The kit ran as on a fresh Windows: $counted, and left the settings as they were."
exit $status
