#!/bin/sh
# update_manifest_test.sh: runs scripts/update-manifest of a clean clone of
# this commit on sample installs, each changed in its own way, and checks what
# it says, its exit code and what it leaves changed in the clone. Last, one
# data file changed and --write: the clone then differs in that entry's line
# and the digest alone, passes its native tests, and its sealmark confirms
# the changed install. Needs nothing built.
set -u
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
clone=$work/clone
# Blanks and a letter outside ASCII in the install's path.
install="$work/an inställed viewer"
trap 'rm -rf "$work"' EXIT
trap 'exit 129' HUP; trap 'exit 130' INT; trap 'exit 143' TERM
failed=0
fail() {
  echo "FAILED  $*" && sed 's/^/  /' "$work/said" && failed=$((failed + 1))
}
git clone -q "$(pwd)" "$clone" && cd "$clone" && cmake --preset native >/dev/null &&
  cmake --build --preset native --target sample-install -j "$(nproc)" >/dev/null || exit 1
# The tool's temporary files go where they can be counted.
export TMPDIR="$work/temporary"
mkdir "$TMPDIR" || exit 1
crc() { python3 -c 'import sys, zlib; print("%08X" % zlib.crc32(open(sys.argv[1], "rb").read()))' "$1"; }

# Each row: a sample install changed by EDIT (run in it), update-manifest
# run with OPTION on it, named from its parent folder, the exit code it must
# end with (1 without --write too), and lines that it must print (grep
# patterns, split at "|"). No row may change the clone.
manifest() { (cd "$work" && "$clone/scripts/update-manifest" "$@") >"$work/said" 2>&1; }
while IFS=';' read -r what edit option code lines; do
  rm -rf "$install" && build/native/sample-install "$install" &&
    (cd "$install" && eval "$edit") || exit 1
  before=$failed
  # shellcheck disable=SC2086
  manifest $option "$(basename "$install")"
  status=$?
  [ $status -eq "$code" ] || fail "$what: ended with $status"
  echo "$lines" | tr '|' '\n' | while read -r line; do
    grep -q "$line" "$work/said" || echo "$line"
  done >"$work/unsaid"
  [ ! -s "$work/unsaid" ] || fail "$what: did not say $(cat "$work/unsaid")"
  [ -z "$(git status --porcelain)" ] || fail "$what: the clone changed: $(git status --porcelain)"
  [ "$code" -eq 0 ] || ! manifest "$install" || fail "$what: without --write, ended with 0"
  [ $failed -ne "$before" ] || echo "ok      $what"
done <<'EOF'
an intact install, --write;:;--write;0;^43 same, 0 changed, 0 missing, 0 unreadable, 0 ambiguous; 0 extra|^same       Data.Submersion.Adult_Sub.DAT$|^Nothing rewritten: the manifest already
a file missing, one a folder and one changed, --write;rm Data/ExtDC.NDX && rm Data/Immersion/Adult_Imm.DAT && mkdir Data/Immersion/Adult_Imm.DAT && echo >>Data/GRD_Surface/Adult_GrdPl.DAT;--write;1;^missing    Data.ExtDC.NDX$|^unreadable Data.Immersion.Adult_Imm.DAT: a folder$|^40 same, 1 changed, 1 missing, 1 unreadable|^Nothing rewritten
folders in other case, one a link out of Data, a file changed;mv Data/GRD_Volume Data/grd_volume && echo >>Data/grd_volume/Adult_Soil_00.DAT && mv Data/Submersion linked && ln -s ../linked Data/Submersion && mv Data data;;0;^changed    Data.GRD_Volume.Adult_Soil_00.DAT (found as data.grd_volume.Adult_Soil_00.DAT): B18B7651 -> |^same       Data.Submersion.Adult_Sub.DAT (found as data.Submersion.Adult_Sub.DAT)$|^42 same, 1 changed,.* 43 found in other case
two names that differ only in case, --write;cp Data/ExtDC.NDX Data/extdc.ndx;--write;1;^ambiguous  Data.ExtDC.NDX: |^case       Data.ExtDC.NDX and Data.extdc.ndx: |^Nothing rewritten
extra files, one with a line feed in its name, --write;echo notes >Data/GRD_Volume/Notes.txt && touch "Data/a$(printf '\nb')";--write;0;^extra      Data.GRD_Volume.Notes.txt$|^extra      Data.a?b$|^43 same, 0 changed, 0 missing, 0 unreadable, 0 ambiguous; 2 extra
EOF

# The last entry changed, by more than the check reads at once: its line,
# checked against zlib; after --write the entry's expected text and the
# digest alone differ, in files put in the place of the old ones (which a
# link keeps); and the tool, run again, is built anew and finds them same.
rm -rf "$install" && build/native/sample-install "$install" || exit 1
changed=$install/Data/Submersion/Adult_Sub.DAT
yes data | head -c 17000000 >>"$changed"
new=$(crc "$changed")
ln src/check/manifest.h "$work/manifest.h.before"
manifest --write "$install" || fail "one file changed: --write failed"
grep -q "^changed    Data.Submersion.Adult_Sub.DAT: 960F076C -> $new$" "$work/said" ||
  fail "one file changed: no line changed to $new"
git diff -U0 | grep '^[-+] ' >"$work/diff"
printf '%s\n' '-    {"Submersion\\Adult_Sub.DAT", "960F076C"},' \
  "+    {\"Submersion\\\\Adult_Sub.DAT\", \"$new\"}," '-            0x2EF41AE5u);' >"$work/wanted"
head -n 3 "$work/diff" | cmp -s - "$work/wanted" && [ "$(wc -l <"$work/diff")" -eq 4 ] &&
  [ "$(git status --porcelain | wc -l)" -eq 2 ] && grep -q '"960F076C"' "$work/manifest.h.before" ||
  { cat "$work/diff" >>"$work/said" && fail "one file changed: the rewrite"; }
manifest "$install" && grep -q "^43 same" "$work/said" || fail "one file changed: the next run"
# The rewritten clone passes its native tests, digest and format among them,
# and its sealmark confirms all 43 files of the changed install.
if cmake --build --preset native -j "$(nproc)" >"$work/said" 2>&1 && ctest --preset native >>"$work/said" 2>&1 &&
   (cd "$install" && PATH=$clone/build/native/recorder:$PATH "$clone/build/native/sealmark") &&
   grep -q " The integrity of 43 data files confirmed\." "$install/FileCheck.TXT"; then
  echo "ok      the last entry changed, --write: that line and the digest alone; the native tests pass; sealmark confirms 43 files"
else
  cat "$install/FileCheck.TXT" >>"$work/said" 2>/dev/null
  fail "one file changed: after --write"
fi
[ -z "$(ls -A "$TMPDIR")" ] || { ls -A "$TMPDIR" >"$work/said" && fail "update-manifest left temporary files"; }
[ $failed -eq 0 ] || exit 1
echo "update-manifest passed."
