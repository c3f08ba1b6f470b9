#!/bin/sh
# Builds the two Windows programs alone with their release presets (no tests,
# no benchmarks; the win32 and win64 presets test the same programs) and
# makes the release zip build/Sealmark-<version>-windows.zip: README.txt
# (scripts/make-readme), Sealmark.exe of the 32-bit build and
# x64/Sealmark.exe of the 64-bit build. Where a SEALMARK_SIGN_* variable is
# set, both programs are signed before they are packed
# (scripts/sign-programs tells with what) and the read-me is the signed
# release's, naming the signer; a failure there leaves no zip and no staged
# program behind. Beside the zip,
# build/SHA256SUMS holds the sums of the zip and of the files in it, to be
# published apart from the zip: sums inside it would vouch only for itself.
# Packs only a tree with nothing uncommitted, and names its commit.
# The zip's bytes depend on nothing but the commit: its files carry the
# commit's time (SOURCE_DATE_EPOCH, as reproducible builds take it), fixed
# modes and a fixed order; and the programs are built with no variable of
# the maintainer's environment but PATH, since CMake, make and the
# compilers take flags from many (CXXFLAGS, LDFLAGS, MAKEFLAGS, CMAKE_*...).
# The key and its certificate are checked before anything is built. With
# --no-setup it installs nothing (scripts/setup.sh is not run) and builds
# with the tools that are there.
# Prints the zip's path and contents.
set -eu
[ "$*" = "" ] || [ "$*" = --no-setup ] || { echo "usage: package.sh [--no-setup]" >&2; exit 2; }
cd "$(dirname "$0")/.."
# Outside a git checkout git can tell neither; a failure inside the test
# of the status would not stop the script, so the status is taken first.
if ! changes=$(git status --porcelain) || ! commit=$(git rev-parse --verify HEAD); then
  echo "package.sh: git cannot tell this tree's state and commit; pack from a git checkout" >&2
  exit 1
fi
if [ -n "$changes" ]; then
  echo "package.sh: the tree has uncommitted changes; commit them or stash them first" >&2
  git status --short >&2
  exit 1
fi
[ "$*" = --no-setup ] || scripts/setup.sh
stage=build/package/stage
rm -rf build/package build/Sealmark-*-windows.zip build/SHA256SUMS
if env | grep -q '^SEALMARK_SIGN_' && ! scripts/sign-programs --check; then
  echo "package.sh: the key or its certificate cannot sign; nothing is built" >&2
  exit 1
fi
for preset in win32 win64; do
  scripts/clean-env cmake --preset "release-$preset" -B "build/package/$preset" >/dev/null
  scripts/clean-env cmake --build "build/package/$preset" -j "$(nproc)" >/dev/null
done
scripts/clean-env cmake --install build/package/win32 --prefix "$stage" >/dev/null
scripts/clean-env cmake --install build/package/win64 --prefix "$stage/x64" >/dev/null

project_value() {
  sed -n "s/^CMAKE_PROJECT_$1:STATIC=//p" build/package/win32/CMakeCache.txt
}
version=$(project_value VERSION)
name=Sealmark-$version-windows.zip
if env | grep -q '^SEALMARK_SIGN_'; then
  if ! scripts/sign-programs "$(project_value NAME)" "$(project_value HOMEPAGE_URL)" \
         "$stage/Sealmark.exe" "$stage/x64/Sealmark.exe" ||
     ! scripts/make-readme "$version" "$commit" "$stage/Sealmark.exe" >"$stage/README.txt"; then
    rm -rf "$stage"
    echo "package.sh: the programs could not be signed; nothing is packed" >&2
    exit 1
  fi
else
  scripts/make-readme "$version" "$commit" >"$stage/README.txt"
fi
files="README.txt Sealmark.exe x64/Sealmark.exe"
# shellcheck disable=SC2086
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit") scripts/zip-dated "build/$name" "$stage" $files
# shellcheck disable=SC2086
(cd "$stage" && sha256sum $files) >build/package/sums
(cd build && sha256sum "$name" && cat package/sums) >build/SHA256SUMS
echo "Packed commit $commit"
echo "$(pwd)/build/$name"
unzip -l "build/$name"
cat build/SHA256SUMS
