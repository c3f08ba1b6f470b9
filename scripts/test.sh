#!/bin/sh
# Installs what is missing, builds the four presets (native, native-asan,
# win32, win64) and runs all their tests: natively, under the sanitizers and
# under Wine for both Windows builds; runs the Windows test kit under Wine as
# on a fresh Windows; takes the manifest from changed sample installs with
# scripts/update-manifest; packs and checks a release signed with a throwaway
# certificate; then checks that the release zip comes out the same, byte for
# byte, from two builds of the commit, and the kit from a third.
set -u
cd "$(dirname "$0")/.."
start=$(date +%s)

scripts/setup.sh || exit 1

failed=""
for preset in native native-asan win32 win64; do
  echo "=== $preset"
  if cmake --preset "$preset" >/dev/null &&
     cmake --build --preset "$preset" -j "$(nproc)" &&
     ctest --preset "$preset"; then
    :
  else
    failed="$failed $preset"
  fi
done

echo "=== the Windows test kit, run under Wine as on a fresh Windows"
if kit=$(scripts/test-kit.sh) &&
   sh tests/scripts/test_kit_test.sh "$(echo "$kit" | tail -n 1)"; then
  :
else
  failed="$failed kit"
fi

echo "=== the manifest, taken from sample installs by update-manifest"
sh tests/scripts/update_manifest_test.sh || failed="$failed update-manifest"

echo "=== signed release, packed from a clean clone of this commit"
tests/scripts/signed_release_test.sh || failed="$failed signed-release"

echo "=== release zip, built twice from clean clones of this commit"
scripts/reproduce.sh || failed="$failed release"

echo "=== finished in $(( $(date +%s) - start )) s"
if [ -n "$failed" ]; then
  echo "FAILED:$failed"
  exit 1
fi
echo "All presets passed."
