#!/bin/bash
# Benchmarks (not tests): the checksum on its own, then whole runs of the
# check on the sample install folder.
#  1. crc32_bench (Google Benchmark): Crc32, the plain bit-by-bit loop and
#     zlib's crc32 on 4 KiB, 1 MiB and 64 MiB, with their ratios; and the same
#     64 MiB figure for the Windows builds under Wine.
#  2. Side by side in one run: the native sealmark against reading the same
#     43 files with cat, and Sealmark.exe under Wine. Median run times, the
#     share of Crc32 in a native run, and the native run's peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${RUNS:-9}
bench=$root/build/bench
install=$bench/install
prefix=$bench/wine-prefix

scripts/setup.sh
for preset in native win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
done

echo "== Crc32 alone (native x86-64)"
build/native/crc32_bench

mkdir -p "$bench"
rm -rf "$install"
build/native/sample-install "$install"
scripts/wine-prefix create "$prefix" "$root/build/win32/shell_recorder.exe"
trap 'scripts/wine-prefix remove "$prefix"' EXIT
export WINEPREFIX=$prefix

echo
echo "== Crc32 alone under Wine"
for preset in win32 win64; do
  echo "$preset: $(scripts/wine-run "build/$preset/crc32_speed.exe")"
done

# The native program opens the report with the first xdg-open on PATH: the
# test recorder, which does nothing here.
export PATH=$root/build/native/recorder:$PATH
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

native_times=() cat_times=() wine_times=()
for (( i = 0; i < runs; i++ )); do
  native_times+=("$(cd "$install" && seconds_of "$root/build/native/sealmark")")
  cat_times+=("$(seconds_of cat "${files[@]}")")
  wine_times+=("$(cd "$install" && seconds_of "$root/scripts/wine-run" "$root/build/win32/Sealmark.exe")")
done
native=$(printf '%s\n' "${native_times[@]}" | median)
cat_median=$(printf '%s\n' "${cat_times[@]}" | median)
wine=$(printf '%s\n' "${wine_times[@]}" | median)

build/native/crc32_bench --benchmark_filter='^Crc32/1048576$' \
  --benchmark_out="$bench/crc32.csv" --benchmark_out_format=csv >/dev/null 2>&1
crc_bytes_per_second=$(awk -F, '/^"Crc32/ {print $6}' "$bench/crc32.csv")
peak_kib=$(cd "$install" && /usr/bin/time -v "$root/build/native/sealmark" 2>&1 >/dev/null |
  awk -F': ' '/Maximum resident/ {print $2}')

awk -v runs="$runs" -v native="$native" -v cat_time="$cat_median" -v wine="$wine" \
    -v bytes="$total_bytes" -v largest="$largest_bytes" -v crc_speed="$crc_bytes_per_second" \
    -v peak="$peak_kib" 'BEGIN {
  crc = bytes / crc_speed
  printf "\n== Whole runs on the sample set (%d files, %.1f MiB), median of %d\n", 43, bytes / 1048576, runs
  printf "native sealmark            %7.3f s\n", native
  printf "cat of the 43 files        %7.3f s\n", cat_time
  printf "Crc32 over them            %7.3f s  (%.0f MB/s; %.0f%% of the native run)\n", crc, crc_speed / 1e6, 100 * crc / native
  printf "native / (cat + Crc32)     %7.2f    (goal: at most 1.50)\n", native / (cat_time + crc)
  printf "Sealmark.exe (win32, Wine) %7.3f s\n", wine
  printf "native peak memory         %7.1f MiB (goal: at most largest file %.1f MiB + 4 MiB)\n", peak / 1024, largest / 1048576
}'
