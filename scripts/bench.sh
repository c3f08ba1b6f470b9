#!/bin/bash
# Benchmarks (not tests). Shows the checksum benchmarks of each build, then
# times whole runs on the sample install folder, and ends with one table of
# every figure that has a goal:
#  - Crc32 against the plain bit-by-bit loop on 32 MiB: natively (Google
#    Benchmark) and in both Windows builds under Wine (crc32_speed), where
#    the 32-bit build's form without SSE2 has a figure of its own;
#  - Crc32 against zlib's crc32, natively;
#  - a native run against reading the same files (cat) and running the plain
#    loop over them, and its peak memory;
#  - a native run with one sparse data file of 3 GiB against cat of that
#    file, and its peak memory against the limit of a whole read;
#  - the 32-bit Sealmark.exe against the 64-bit one under Wine, whole
#    process, median of five pairs.
# RUNS=n changes the number of native runs (9).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${RUNS:-9}
bench=$root/build/bench
install=$bench/install
large=$bench/large-install
prefix=$bench/wine-prefix
limit_mib=$(sed -n 's/.*kWholeReadLimit = \([0-9]*\)u << 20.*/\1/p' src/check/data_file.h)

scripts/setup.sh
for preset in native win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
done
mkdir -p "$bench"

echo "== Crc32 natively (x86-64)"
build/native/crc32_bench --benchmark_out="$bench/crc32.csv" --benchmark_out_format=csv
# Bytes per second of a benchmark on 32 MiB.
native_speed() {
  awk -F, -v name="\"$1/33554432\"" '$1 == name {print $6}' "$bench/crc32.csv"
}

scripts/wine-prefix create "$prefix" "$root/build/win32/shell_recorder.exe"
trap 'scripts/wine-prefix remove "$prefix"; rm -rf "$large"' EXIT
export WINEPREFIX=$prefix
for preset in win32 win64; do
  echo
  echo "== Crc32 under Wine, $preset"
  scripts/wine-run "build/$preset/crc32_speed.exe" | tee "$bench/$preset.txt"
done
# The ratio to the plain loop on a line of crc32_speed, "form portable32 ..."
# or "Crc32 ...".
wine_ratio() {
  awk -v line="$2" '$0 ~ "^" line " " {print $NF}' "$bench/$1.txt" | tr -d x
}

rm -rf "$install"
build/native/sample-install "$install"
files=()
while IFS= read -r -d '' file; do files+=("$file"); done < <(find "$install/Data" -type f -print0)
total_bytes=$(cat "${files[@]}" | wc -c)
largest_bytes=$(stat -c %s "${files[@]}" | sort -n | tail -1)

seconds_of() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  echo "$(( end - start ))e-9" | awk '{printf "%.4f\n", $1}'
}
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

# The native program opens the report with the first xdg-open on PATH: the
# test recorder, which does nothing here.
export PATH=$root/build/native/recorder:$PATH
native_times=() cat_times=()
for (( i = 0; i < runs; i++ )); do
  native_times+=("$(cd "$install" && seconds_of "$root/build/native/sealmark")")
  cat_times+=("$(seconds_of cat "${files[@]}")")
done
native=$(printf '%s\n' "${native_times[@]}" | median)
cat_time=$(printf '%s\n' "${cat_times[@]}" | median)
peak_kib=$(cd "$install" && /usr/bin/time -v "$root/build/native/sealmark" 2>&1 >/dev/null |
  awk -F': ' '/Maximum resident/ {print $2}')

# The same set with ExtDC.NDX made a sparse file of 3 GiB, read once before
# the runs so that every run and every cat finds it cached. Its checksum is
# no longer the manifest's, but must be that of all its bytes.
rm -rf "$large"
build/native/sample-install "$large"
truncate -s 3G "$large/Data/ExtDC.NDX"
cat "$large/Data/ExtDC.NDX" >/dev/null
large_times=() large_cat_times=()
for (( i = 0; i < 3; i++ )); do
  large_times+=("$(cd "$large" && seconds_of "$root/build/native/sealmark")")
  large_cat_times+=("$(seconds_of cat "$large/Data/ExtDC.NDX")")
done
large_peak_kib=$(cd "$large" && /usr/bin/time -v "$root/build/native/sealmark" 2>&1 >/dev/null |
  awk -F': ' '/Maximum resident/ {print $2}')
if ! grep -q "Integrity issue with 1  file(s)." "$large/FileCheck.TXT" ||
   grep -q "CRC was 00000000" "$large/FileCheck.TXT"; then
  echo "bench.sh: the 3 GiB file was not read" >&2
  exit 1
fi
rm -rf "$large"

pair_ratios=() times32=() times64=()
for (( i = 0; i < 5; i++ )); do
  t32=$(cd "$install" && seconds_of "$root/scripts/wine-run" "$root/build/win32/Sealmark.exe")
  t64=$(cd "$install" && seconds_of "$root/scripts/wine-run" "$root/build/win64/Sealmark.exe")
  times32+=("$t32") times64+=("$t64")
  pair_ratios+=("$(awk -v a="$t32" -v b="$t64" 'BEGIN {print a / b}')")
done

awk -v native_crc="$(native_speed Crc32)" -v native_plain="$(native_speed PlainLoop)" \
    -v zlib="$(native_speed ZlibCrc32)" -v win64="$(wine_ratio win64 Crc32)" \
    -v win32="$(wine_ratio win32 Crc32)" -v portable32="$(wine_ratio win32 'form portable32')" \
    -v native="$native" -v cat_time="$cat_time" -v bytes="$total_bytes" -v runs="$runs" \
    -v largest="$largest_bytes" -v peak="$peak_kib" -v limit="$limit_mib" \
    -v large="$(printf '%s\n' "${large_times[@]}" | median)" \
    -v large_cat="$(printf '%s\n' "${large_cat_times[@]}" | median)" -v large_peak="$large_peak_kib" \
    -v t32="$(printf '%s\n' "${times32[@]}" | median)" \
    -v t64="$(printf '%s\n' "${times64[@]}" | median)" \
    -v pair="$(printf '%s\n' "${pair_ratios[@]}" | median)" 'BEGIN {
  plain = bytes / native_plain
  printf "\n== Figures and goals (sample set: 43 files, %.1f MiB)\n", bytes / 1048576
  printf "| figure | measured | goal |\n|---|---|---|\n"
  printf "| Crc32 / plain loop, 32 MiB, native | %.1fx | at least 8x |\n", native_crc / native_plain
  printf "| Crc32 / plain loop, 32 MiB, win64 under Wine | %.1fx | at least 8x |\n", win64
  printf "| portable32 form (no SSE2) / plain loop, 32 MiB, win32 under Wine | %.1fx | at least 4x |\n", portable32
  printf "| Crc32 / plain loop, 32 MiB, win32 under Wine (form by CPU) | %.1fx | |\n", win32
  printf "| Crc32 / zlib crc32, 32 MiB, native | %.2fx | at least 1x (stretch) |\n", native_crc / zlib
  printf "| native run / (cat + plain loop), median of %d | %.3f s / (%.3f s + %.3f s) = %.3f | at most 0.15 |\n", runs, native, cat_time, plain, native / (cat_time + plain)
  printf "| native peak memory | %.1f MiB | at most %.1f MiB (largest file + 4 MiB) |\n", peak / 1024, largest / 1048576 + 4
  printf "| native run / cat, one 3 GiB data file, medians of 3 | %.3f s / %.3f s = %.1fx | at most 4x |\n", large, large_cat, large / large_cat
  printf "| native peak memory, one 3 GiB data file | %.1f MiB | at most %d MiB (limit + 8 MiB) |\n", large_peak / 1024, limit + 8
  printf "| Sealmark.exe win32 / win64 under Wine, median of 5 pairs | %.3f s / %.3f s: %.2f | at most 1.2 |\n", t32, t64, pair
}'
