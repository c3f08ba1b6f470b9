#!/bin/sh
# Builds the release zip twice from clean clones of the current commit (what
# is not committed takes no part) in two different folders, the second
# checked out with core.autocrlf=true as Git for Windows does and packed as
# on another machine: in a time zone far from UTC at an odd offset, under
# another umask, with build and zip options in the environment. Compares
# the results byte for byte: both Sealmark.exe files, the zip and its sums.
# Prints their SHA-256 sums. Then checks what a user unzips: the read-me and
# the two programs alone, dated at the commit's time, and a read-me that
# Notepad shows as written on every Windows. Where the win32 and win64
# presets have been built, their Sealmark.exe, the programs that their tests
# ran, must be the released ones. The two clones make the Windows test kit
# too, the second in its environment, and the two kits must be the same;
# and where scripts/test-kit.sh has made the kit of this commit here, so
# must it.
set -eu
cd "$(dirname "$0")/.."
# The reproducible release is the unsigned one.
unset $(env | sed -n 's/^\(SEALMARK_SIGN_[A-Za-z0-9_]*\)=.*/\1/p')
root=$(pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 129' HUP; trap 'exit 130' INT; trap 'exit 143' TERM
git clone -q "$root" "$work/a"
"$work/a/scripts/package.sh" >/dev/null || { echo "FAILED    packing in $work/a"; exit 1; }
# Runs the script $1 of the second clone in an environment of its own.
in_second() {
  (umask 077 && TZ='<+1245>-12:45' CXXFLAGS=-fno-omit-frame-pointer LDFLAGS=-Wl,--insert-timestamp \
     ZIPOPT=-9 SOURCE_DATE_EPOCH=0 "$work/second/b/scripts/$1" >/dev/null)
}
if ! (umask 077 && git clone -q -c core.autocrlf=true "$root" "$work/second/b") ||
   ! in_second package.sh; then
  echo "FAILED    packing in $work/second/b"
  exit 1
fi
"$work/a/scripts/test-kit.sh" >/dev/null || { echo "FAILED    the test kit in $work/a"; exit 1; }
in_second test-kit.sh || { echo "FAILED    the test kit in $work/second/b"; exit 1; }
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
# zip keeps times in even seconds, rounding an odd one up.
commit=$(git rev-parse HEAD)
time=$(date -u -d "@$((($(git log -1 --format=%ct) + 1) / 2 * 2))" +%Y%m%d.%H%M%S)
version=${zip#Sealmark-}
version=${version%-windows.zip}
entries=$(zipinfo -T "$work/a/build/$zip" | awk '/^-/ {print $NF, $(NF - 1)}')
if [ "$entries" = "$(printf 'README.txt %s\nSealmark.exe %s\nx64/Sealmark.exe %s' "$time" "$time" "$time")" ]; then
  echo "dated     README.txt, Sealmark.exe, x64/Sealmark.exe alone, at the commit's $time"
else
  printf 'WRONG     the zip holds, with their times:\n%s\n' "$entries"
  status=1
fi
scripts/check-readme "$work/a/build/package/stage/README.txt" "$version" "$commit" || status=1
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
# The test kit of each clone, and where it was made here from this commit alone.
kit=$(cd "$work/a/build" && ls Sealmark-*-windows-tests.zip)
if cmp -s "$work/a/build/$kit" "$work/second/b/build/$kit"; then
  echo "same      $(cd "$work/a/build" && sha256sum "$kit"), the test kit of both clones"
else
  echo "DIFFERENT $kit, the test kit of the second clone"
  status=1
fi
if ! unzip -p "build/$kit" "${kit%.zip}/README.txt" 2>/dev/null | tr -d '\r' | grep -q "from commit $commit\.$"; then
  echo "unbuilt   build/$kit: no test kit of this commit alone to compare"
elif cmp -s "build/$kit" "$work/a/build/$kit"; then
  echo "same      $(sha256sum "build/$kit"), the test kit, as from a clean clone"
else
  echo "DIFFERENT build/$kit, the test kit, from the one of a clean clone"
  status=1
fi
exit $status
