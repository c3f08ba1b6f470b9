#!/bin/sh
# test_kit_test.sh ZIP: unzips the Windows test kit ZIP into a new folder,
# named in scripts that the ANSI code page lacks and with a !, and runs
# its run-tests.cmd through Wine's cmd expanding !...!, as on a fresh
# Windows: in a new Wine prefix that nothing has prepared, with only the
# environment that scripts/wine-run sets, Gtest_Filter naming no test and
# GoogleTest's sharding variables set. Fails unless each set's programs
# are of its width, the run ends with 0 and its last line counts what the
# test programs' XML reports count, no test failed, the planted DLL's
# tests and those that start Sealmark.exe ran in both sets, every skip
# gave its reason, the user's own results folders (and a link to one with
# a run's mark) and HKCU\Software\Sealmark are kept, and the prefix's .txt
# opener and short date format are after the run as they were before.
# Then, each with its own check: a .txt UserChoice, with and without
# --strict; a run ended while the recorder opens .txt files, and the next,
# with a tool missing; records that a run cut short leaves; test programs
# that change the short date format and end without their summary; the
# order of the record's writes and flushes that a relay trace shows; a
# report that an earlier run left and that cannot be removed; a run in
# another session; a 64-bit set that does not start; and a temporary
# folder past MAX_PATH. No run may leave its temporary folder, nor the
# prefix's removal Wine's server folders. The programs that stand in for
# test programs come from build/kit-win32, where scripts/test-kit.sh
# builds them.
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
# The record's layout, as tests/kit/record_layout.h names it.
record='HKCU\Software\Sealmark\Test kit'
values=Values
was_there='Was there'
whole=Whole
notes=Set

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
  (cd "$work" && wine cmd /c settings.cmd) 2>&1 | tr -d '\r' | grep -av '^wine: ' >"$work/$1"
  grep -q sShortDate "$work/$1" || fail "the settings cannot be read: $(cat "$work/$1")"
  if [ $# -eq 2 ] && ! diff -u "$work/$2" "$work/$1"; then
    fail "the .txt opener, the short date format or another key changed"
  fi
}
# The .txt opener and the short date format in the settings file $1.
opener() { awk '/^HKEY_CLASSES_ROOT\\.txt$/ { getline; print $NF; exit }' "$work/$1"; }
short_date() { awk '$1 == "sShortDate" { print $NF; exit }' "$work/$1"; }

# Runs the kit's run-tests.cmd with the arguments given, after the
# commands in $prompt in the same command prompt: what it printed in
# $work/printed, its exit code in $code, its last line in $last.
prompt=
run_kit() {
  (cd "$kit" && wine cmd /v:on /c "${prompt}run-tests.cmd" "$@") >"$work/output" 2>&1
  code=$?
  tr -d '\r' <"$work/output" >"$work/printed"
  last=$(tail -n 1 "$work/printed")
  left=$(find "$WINEPREFIX/drive_c/users" -name 'sealmark-tests-*')
  [ -z "$left" ] || fail "the run left its temporary folder $left"
}
says() { grep -aqF -- "$1" "$work/printed" || fail "$2: the console did not say \"$1\""; }

# Wine's ANSI code page, 1252 here, follows LANG. The prompts expand !...!.
parent="$work/测试 Δοκιμή!"
unzip -q "$1" -d "$parent" || exit 1
kit=$parent/$(basename "$1" .zip)
[ -f "$kit/run-tests.cmd" ] || { fail "the zip has no folder $(basename "$1" .zip) of its own"; exit 1; }
# Each set's programs are built for its width: i386 or x86-64.
for program in "$kit"/win*/*.exe "$kit"/win*/*.dll; do
  machine=$(od -An -tx2 -N2 -j$(($(od -An -tu4 -N4 -j60 "$program") + 4)) "$program" | tr -d ' ')
  case ${program%/*}/$machine in
    */win32/014c | */win64/8664) ;;
    *) fail "$program is for the machine $machine" ;;
  esac
done
# Folders of the user's: results beside the kit's folder, where "Extract
# Here" puts it, and in the kit's folder; and results-2, a link to the
# first, which bears a run's mark. The results go to results-3.
for folder in "$parent/results" "$kit/results"; do
  mkdir -p "$folder" && echo mine >"$folder/mine.txt"
done
touch "$parent/results/made-by-run-tests.txt" && ln -s "$parent/results" "$kit/results-2"
results=$kit/results-3
settings before
export Gtest_Filter=NoSuchTest GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=1
run_kit
unset Gtest_Filter GTEST_TOTAL_SHARDS GTEST_SHARD_INDEX
cat "$work/printed"
settings after before
# GoogleTest notes a filter, a shard, a repeat or a shuffle.
if grep -h '^Note: ' "$results"/*.txt; then
  fail "a test program ran with a GoogleTest variable"
fi
for folder in "$parent/results" "$kit/results"; do
  [ "$(ls -I made-by-run-tests.txt "$folder")" = mine.txt ] && [ "$(cat "$folder/mine.txt")" = mine ] ||
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
mv "$kit/win64/os_text_probe.exe" "$work"
run_kit
mv "$work/os_text_probe.exe" "$kit/win64"
says "An earlier run was cut short; from its record of HKLM\\Software\\Classes\\.txt:" "cut short"
says "failed: the kit has no win64\\os_text_probe.exe" "a missing tool"
[ "$code" -ne 0 ] && [ "$last" = "0 passed, 5 failed, 0 skipped" ] ||
  fail "a kit without test programs and a tool ended with $code, saying \"$last\""
settings after-cut before-cut

# Records that a run cut short leaves, planted one by one: what it keeps
# of each key (values, "Was there" and the mark that the record is whole),
# and for a whole one the notes and changes that it made and the short date
# format that it finds; then the .txt opener and short date format after,
# with what the console says. "removed": the user removed a value since,
# which no note says that the kit set.
date=$(short_date before-cut)
plant() {
  for key in 'HKLM\Software\Classes\.txt' 'HKCU\Control Panel\International'; do
    kept="$record\\$(echo "$key" | sed 's|\\|/|g')"
    case $1$key in *removed*HKCU*) echo "reg add \"$key\" /v Mine /d kept /f" ;; esac
    case $1 in *values*) echo "reg copy \"$key\" \"$kept\\$values\" /f" ;; esac
    case $1 in *was*) echo "reg add \"$kept\" /v \"$was_there\" /t REG_DWORD /d 1 /f" ;; esac
    case $1 in *whole*) echo "reg add \"$kept\" /v $whole /t REG_DWORD /d 1 /f" ;; esac
  done
  case $1 in *whole*)
    echo "reg add \"$record\\HKLM/Software/Classes/.txt\\$notes\\@\" /v Sealmark.TestRecorder /f"
    echo "reg add \"$record\\HKCU/Control Panel/International\\$notes\\sShortDate\" /v yyyy-MM-dd /f"
    echo 'reg add HKLM\Software\Classes\.txt /ve /d Sealmark.TestRecorder /f'
    echo "reg add \"HKCU\\Control Panel\\International\" /v sShortDate /d $2 /f" ;;
  esac
  case $1 in *removed*) echo 'reg delete "HKCU\Control Panel\International" /v Mine /f' ;; esac
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
  case $parts in *removed*)
    wine reg query 'HKCU\Control Panel\International' /v Mine >/dev/null 2>&1 &&
      fail "$parts: a value that the user removed was put back" ;;
  esac
  unread=${said#not put back: }
  [ "$unread" = "$said" ] || wine reg query "${unread% cannot be read}" >/dev/null 2>&1 ||
    fail "$parts: the record that was not put back is gone"
  wine reg delete "$record" /f >/dev/null 2>&1
  printf '%s\n' 'reg add HKLM\Software\Classes\.txt /ve /d txtfile /f' \
    "reg add \"HKCU\\Control Panel\\International\" /v sShortDate /d $date /f" >"$work/plant.cmd"
  (cd "$work" && wine cmd /c plant.cmd) >/dev/null 2>&1
done 3<<'EOF'
values was whole|yyyy-MM-dd|txtfile||put back HKCU\Control Panel\International sShortDate|0 passed, 4 failed, 0 skipped
values was whole|d.M.yy|txtfile|d.M.yy|kept HKCU\Control Panel\International sShortDate|0 passed, 4 failed, 0 skipped
values was whole removed|yyyy-MM-dd|txtfile||put back HKCU\Control Panel\International sShortDate|0 passed, 4 failed, 0 skipped
was whole|yyyy-MM-dd|Sealmark.TestRecorder|yyyy-MM-dd|not put back: HKCU\Software\Sealmark\Test kit\HKLM/Software/Classes/.txt cannot be read|0 passed, 1 failed, 0 skipped
was|-|txtfile||its incomplete record, HKCU\Software\Sealmark\Test kit\HKCU/Control Panel/International, was removed|0 passed, 4 failed, 0 skipped
values was|-|txtfile||its incomplete record, HKCU\Software\Sealmark\Test kit\HKLM/Software/Classes/.txt, was removed|0 passed, 4 failed, 0 skipped
EOF
settings after-planted before-cut

# Test programs that change the short date format and end without their
# summary, or with a summary but no XML report or one that disagrees with
# it, each count as one failed test, no value is said to be kept, and the
# next finds the format as it was. The version that the user had Wine
# report to os_text_probe.exe, which they remove, is put back.
tools=$root/build/kit-win32
for program in unit e2e; do
  cp "$tools/quits_early.exe" "$kit/win32/${program}_tests.exe" || exit 1
done
wine reg add 'HKCU\Software\Wine\AppDefaults\os_text_probe.exe' /v Version /d win7 /f >/dev/null
settings before-early
while IFS='|' read -r summary code report problem <&3; do
  export QUITS_EARLY_SUMMARY="$summary" QUITS_EARLY_EXIT="$code" QUITS_EARLY_REPORT="$report"
  run_kit
  for program in unit e2e; do
    says "win32-$program: 0 passed, 1 failed, 0 skipped" "win32-$program, ended early"
    says "failed  win32-$program: $problem" "win32-$program, ended early"
    found=$(tr -d '\r' <"$results/win32-$program.txt" | head -n 1)
    [ "$found" = "short date format: $date" ] || fail "win32-$program found: $found"
  done
  if grep '^  kept ' "$work/printed"; then
    fail "values that the user did not change were kept"
  fi
  settings after-early before-early
done 3<<'EOF'
|0||ended without its summary, with exit code 0
|3||ended without its summary, with exit code 3
[  PASSED  ] 1 test.|0||its XML report is missing or unreadable
[  PASSED  ] 1 test.|0|<testsuites><testcase name="A" result="completed" /><testcase name="B" result="completed" /></testsuites>|its summary says 1 passed, 0 failed, 0 skipped, its XML report 2 passed, 0 failed, 0 skipped
EOF

# The order of the record's writes, in a relay trace of the registry calls
# of the runner and the test programs: the values that a record keeps
# before its mark, a flush right after the mark and after each note before
# any change, and one of the key put back, not of HKEY_CURRENT_USER
# (80000001), before its record goes.
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /f /d 'RegCreateKeyExW;RegSetKeyValueW;'\
'RegSetValueExW;RegDeleteValueW;RegDeleteKeyW;RegDeleteTreeW;RegFlushKey;SetLocaleInfoW' >/dev/null
(cd "$kit" && wine cmd /c "set WINEDEBUG=+relay&& run-tests.cmd") >"$work/relay" 2>&1
wine reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f >/dev/null
awk '
  function key() { match($0, /Test kit\\\\[^\\"]*/); return substr($0, RSTART + 10, RLENGTH - 10) }
  !/:Call / { next }
  /RegFlushKey\(/ { dirty = 0; unflushed = /\(80000001\)/; mark = 0; next }
  mark { wrong = wrong "\n  no flush right after the mark: " $0; mark = 0 }
  /RegDeleteTreeW\(.*Test kit\\\\/ { forgot++
    if (unflushed) wrong = wrong "\n  a record removed before what was put back was flushed: " $0
    next }
  /Test kit\\\\.*\\\\Values"/ { if (key() in marked) wrong = wrong "\n  values after the mark: " $0
                                kept[key()] = 1; next }
  /Test kit\\\\.*L"Whole"/ { if (!(key() in kept)) wrong = wrong "\n  a mark before the values: " $0
                             marked[key()] = 1; dirty = 1; mark = 1; next }
  /Test kit\\\\.*\\\\Set\\\\/ { noted++; dirty = 1; next }
  /Test kit\\\\/ { next }
  { unflushed = 1 }
  /RegSetKeyValueW\(|SetLocaleInfoW\(|RegDeleteValueW\(/ {
    changed++
    if (dirty) wrong = wrong "\n  a change before its record was flushed: " $0
  }
  END {
    if (!length(marked) || !noted || !changed || !forgot) wrong = wrong "\n  no mark, note, change or removal traced"
    if (wrong != "") { print "FAIL: the order of the record:" wrong; exit 1 }
  }' "$work/relay" || status=1

# A report that an earlier run left and that cannot be removed: its
# program is not run, and counts as one failed test, never with that
# report's counts; the other ends without its summary. On an x64 Windows,
# a 64-bit set whose programs do not start fails, and the system's
# message names the program.
export QUITS_EARLY_SUMMARY= QUITS_EARLY_REPORT=
printf '<testsuites><testcase name="A" result="completed" /></testsuites>' >"$results/win32-unit.xml"
chmod a-w "$results/win32-unit.xml"
cp "$kit/win64/shell_recorder.exe" "$work/probe.exe"
cp "$kit/README.txt" "$kit/win64/shell_recorder.exe"
run_kit
chmod u+w "$results/win32-unit.xml"
cp "$work/probe.exe" "$kit/win64/shell_recorder.exe"
says "win32-unit: 0 passed, 1 failed, 0 skipped" "an earlier report"
says "failed  win32-unit: not run: the report of an earlier run, " "an earlier report"
says "failed  win32-e2e: ended without its summary" "an earlier report"
says "failed: the 64-bit set: its programs do not start on this x64 Windows: error 193" "no 64-bit set"
if grep '%[0-9]' "$work/printed"; then
  fail "a system message with its inserts unfilled"
fi

# A run in another session, for which a program holds the mutex in
# Global\; and an event of its name, which keeps it from being made.
while IFS='|' read -r kind said <&3; do
  rm -f "$work/held" "$work/stop"
  # shellcheck disable=SC2086
  (cd "$work" && wine "$tools/holds_a_run.exe" held stop $kind) >/dev/null 2>&1 &
  for _ in $(seq 100); do
    [ -f "$work/held" ] && break
    sleep 0.2
  done
  run_kit
  touch "$work/stop"
  wait
  says "$said" "a run in another session${kind:+ (an $kind)}"
  [ "$last" = "0 passed, 1 failed, 0 skipped" ] || fail "a run in another session: the run ended \"$last\""
done 3<<'EOF'
|Another run of the tests is under way; nothing was done.
event|cannot be made: error 6 (
EOF

# A temporary folder past MAX_PATH, by its long and by its 8.3 name, as
# the command prompt gives it: refused and named, with the counts last.
deep=$WINEPREFIX/drive_c/deep
long='C:\deep'
for _ in $(seq 14); do
  deep=$deep/a-long-folder-name
  long="$long\\a-long-folder-name"
done
mkdir -p "$deep"
name=$(cd "$WINEPREFIX/drive_c/deep" && wine cmd /c dir /x | tr -d '\r' |
  awk '$NF == "a-long-folder-name" { print $(NF - 1) }')
short='C:\deep'$(for _ in $(seq 14); do printf '\\%s' "$name"; done)
for tmp in "$long" "$short"; do
  prompt="set TMP=$tmp&& set TEMP=$tmp&& "
  run_kit
  says "$long" "TMP $tmp"
  [ "$code" -ne 0 ] && [ "$last" = "0 passed, 1 failed, 0 skipped" ] ||
    fail "TMP $tmp: the run ended with $code, saying \"$last\""
  [ -z "$(find "$WINEPREFIX/drive_c/deep" -name 'sealmark-tests-*')" ] ||
    fail "TMP $tmp: a folder for the tests was made in it"
done
prompt=

# Removing the prefix removes the folders that Wine keeps its server's lock
# in, which it leaves behind itself.
server=server-$(stat -c %D "$WINEPREFIX")-$(printf %x "$(stat -c %i "$WINEPREFIX")")
"$root/scripts/wine-prefix" remove "$WINEPREFIX"
for left in /tmp/wine-*/"$server" ${TMPDIR:+"$TMPDIR"/wine-*/"$server"}; do
  [ ! -e "$left" ] || fail "Wine's server folder $left is left"
done

[ $status -eq 0 ] && echo "The kit ran as on a fresh Windows: $counted, and left the settings as they were."
exit $status
