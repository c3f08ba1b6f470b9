#!/bin/sh
# Builds the win32 and win64 presets in build/kit-win32 and
# build/kit-win64 and makes the Windows test kit,
# build/Sealmark-<version>-windows-tests.zip, all in its one folder
# Sealmark-<version>-windows-tests/, so that unzipping it anywhere makes a
# folder of its own: run-tests.cmd and README.txt from tests/kit, with CR LF line ends, the read-me naming the version and
# commit (and uncommitted changes, where the tree has them); and in win32/
# and win64/ the released Sealmark.exe that the tests run, the test
# programs and the programs that they start, with the kit's runner in
# win32/. Like the release zip, its bytes depend on nothing but the commit:
# the programs are built as package.sh builds the release's, with no
# variable of the environment but PATH (scripts/clean-env), in folders of
# their own, whose cache no other environment made; its files carry the
# commit's time (SOURCE_DATE_EPOCH), fixed modes and a fixed order. Prints
# the zip's contents, and last its path.
set -eu
cd "$(dirname "$0")/.."
if ! changes=$(git status --porcelain) || ! commit=$(git rev-parse --verify HEAD); then
  echo "test-kit.sh: git cannot tell this tree's state and commit; pack from a git checkout" >&2
  exit 1
fi
[ -z "$changes" ] || commit="$commit and uncommitted changes"
scripts/setup.sh
for preset in win32 win64; do
  scripts/clean-env cmake --preset "$preset" -B "build/kit-$preset" >/dev/null
  scripts/clean-env cmake --build "build/kit-$preset" -j "$(nproc)" >/dev/null
done

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/kit-win32/CMakeCache.txt)
folder=Sealmark-$version-windows-tests
name=$folder.zip
rm -rf build/kit
stage=build/kit/$folder
mkdir -p "$stage/win32" "$stage/win64"
programs="Sealmark.exe unit_tests.exe e2e_tests.exe shell_recorder.exe os_text_probe.exe
  planted_dll.dll"
files="$folder/README.txt $folder/run-tests.cmd $folder/win32/kit_runner.exe"
cp build/kit-win32/kit_runner.exe "$stage/win32/"
for width in win32 win64; do
  for program in $programs; do
    cp "build/kit-$width/$program" "$stage/$width/"
    files="$files $folder/$width/$program"
  done
done
sed -e 's/\r*$/\r/' tests/kit/run-tests.cmd >"$stage/run-tests.cmd"
sed -e "s/@VERSION@/$version/g" -e "s/@COMMIT@/$commit/g" -e 's/\r*$/\r/' \
  tests/kit/README.txt.in >"$stage/README.txt"
# shellcheck disable=SC2086
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct HEAD) scripts/zip-dated "build/$name" build/kit $files
unzip -l "build/$name"
echo "$(pwd)/build/$name"
