#!/bin/sh
# check-signed-release.sh ZIP SUMS: shows that each file of a signed release
# zip is what the commit named in its README.txt builds. Run in a checkout
# that holds that commit. Checks the sums of SUMS against the zip and the
# files in it, builds the commit unsigned with its own scripts/package.sh in
# a clone of this checkout, then compares each program, its signature
# removed, with the one built, and the read-me with the one that the commit's
# packing makes for the signer of each program; the signed programs must
# pass the commit's check of the imports, the header and the manifest, and
# the read-me the check of a readable one. Prints "same" (or "passes") for
# each, or names what differs; exits with 1 on any difference.
set -u
export LC_ALL=C
[ $# -eq 2 ] || { echo "usage: check-signed-release.sh ZIP SUMS" >&2; exit 2; }
zip=$(realpath "$1") && sums=$(realpath "$2") || exit 2
cd "$(dirname "$0")/.."
# What is compared is the unsigned build.
unset $(env | sed -n 's/^\(SEALMARK_SIGN_[A-Za-z0-9_]*\)=.*/\1/p')
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files="README.txt Sealmark.exe x64/Sealmark.exe"
status=0

same() {
  echo "same      $*"
}

different() {
  echo "DIFFERENT $*"
  status=1
}

entries=$(zipinfo -1 "$zip" | sort | xargs) || exit 1
[ "$entries" = "$files" ] || { echo "DIFFERENT the zip holds $entries, not $files"; exit 1; }
unzip -q "$zip" -d "$work/zip"

# The sums, in the order and form of the packing's SHA256SUMS.
{
  (cd "$(dirname "$zip")" && sha256sum "$(basename "$zip")")
  (cd "$work/zip" && sha256sum $files)
} >"$work/sums"
if cmp -s "$work/sums" "$sums"; then
  same "$(basename "$sums"): the sums of the zip and of the files in it"
else
  different "$(basename "$sums") from the zip and its files (- in it, + found):"
  diff "$sums" "$work/sums" | sed -n 's/^</  -/p; s/^>/  +/p'
fi

line=$(tr -d '\r' <"$work/zip/README.txt" | tail -n 1)
version=$(echo "$line" | sed -n 's/^Sealmark \(.*\), built from commit [0-9a-f]\{40\}\.$/\1/p')
commit=$(echo "$line" | sed -n 's/^Sealmark .*, built from commit \([0-9a-f]\{40\}\)\.$/\1/p')
[ -n "$commit" ] || { echo "DIFFERENT README.txt names no commit in its last line: $line"; exit 1; }
if ! git cat-file -e "$commit^{commit}" 2>/dev/null; then
  echo "check-signed-release.sh: commit $commit is not in this checkout; fetch it first" >&2
  exit 1
fi
clone=$work/clone
git clone -q . "$clone" && git -C "$clone" checkout -q "$commit"
if ! "$clone/scripts/package.sh" >"$work/package.log" 2>&1; then
  cat "$work/package.log"
  echo "check-signed-release.sh: cannot pack commit $commit unsigned" >&2
  exit 1
fi
built=$clone/build/package/stage

for program in Sealmark.exe x64/Sealmark.exe; do
  mkdir -p "$(dirname "$work/unsigned/$program")"
  if osslsigncode remove-signature -in "$work/zip/$program" -out "$work/unsigned/$program" \
       >/dev/null 2>&1 && cmp -s "$work/unsigned/$program" "$built/$program"; then
    same "$program, its signature removed, as $commit builds it"
  else
    different "$program, its signature removed, from the one that $commit builds"
  fi
  if "$clone/scripts/make-readme" "$version" "$commit" "$work/zip/$program" >"$work/README.txt" &&
     cmp -s "$work/README.txt" "$work/zip/README.txt"; then
    same "README.txt, as $commit packs it for the signer of $program"
  else
    different "README.txt from the one that $commit packs for the signer of $program:"
    diff "$work/zip/README.txt" "$work/README.txt" | tr -d '\r' | sed -n 's/^</  -/p; s/^>/  +/p'
  fi
done

"$clone/scripts/check-readme" "$work/zip/README.txt" "$version" "$commit" || status=1
for program in Sealmark.exe x64/Sealmark.exe; do
  case $program in
    x64/*) objdump=x86_64-w64-mingw32-objdump list=release-win64.txt ;;
    *) objdump=i686-w64-mingw32-objdump list=release-win32.txt ;;
  esac
  if "$clone/scripts/check-imports" "$(command -v "$objdump")" --functions \
       "$clone/tests/imports/$list" "$work/zip/$program" >"$work/imports" 2>&1; then
    echo "passes    $program: the imports of $list, the header's system versions, the manifest"
  else
    sed 's/^/  /' "$work/imports"
    different "$program fails the check of its imports, header and manifest"
  fi
done
exit $status
