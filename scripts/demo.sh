#!/bin/sh
# The main job: installs what is missing, builds, lays out a sample install
# folder, runs the 32-bit Sealmark.exe there under Wine and shows its report;
# then alters one data file and shows the report again.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
demo=$root/build/demo
install=$demo/install
prefix=$demo/wine-prefix

scripts/setup.sh
for preset in native win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
done

rm -rf "$install"
mkdir -p "$demo"
build/native/sample-install "$install"
cp build/win32/Sealmark.exe "$install/"
echo "Sample install folder: $install"

# A Wine prefix of the demo's own, in which .txt files open with a recorder
# that notes the request instead of starting a viewer.
scripts/wine-prefix create "$prefix" "$root/build/win32/shell_recorder.exe"
trap 'scripts/wine-prefix remove "$prefix"' EXIT
export WINEPREFIX="$prefix"

run_check() {
  rm -f "$demo/shell.log"
  (cd "$install" && SEALMARK_SHELL_LOG=$(winepath -w "$demo/shell.log" 2>/dev/null) \
    "$root/scripts/wine-run" Sealmark.exe) || echo "Sealmark.exe ended with $?"
  sleep 1
  echo "----- FileCheck.TXT -----"
  sed 's/\r$//' "$install/FileCheck.TXT"
  echo "-------------------------"
  if [ -s "$demo/shell.log" ]; then
    printf 'The shell was asked to open: %s\n' "$(cat "$demo/shell.log")"
  fi
}

echo
echo "== Run 1: the data set as installed"
run_check

altered="$install/Data/GRD_Volume/5-y-old_Soil_00.DAT"
printf 'X' | dd of="$altered" bs=1 seek=1000 conv=notrunc status=none
echo
printf '%s\n' '== Run 2: one byte of Data\GRD_Volume\5-y-old_Soil_00.DAT changed'
run_check

echo
echo "Natively, the same check: cd $install && $root/build/native/sealmark"
