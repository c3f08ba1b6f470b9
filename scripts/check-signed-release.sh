#!/bin/sh
# check-signed-release.sh ZIP SUMS: shows that a signed release zip is what
# the commit named in its README.txt makes, taking nothing on the zip's
# word. Run in a checkout that holds that commit on a branch or tag. Before
# it unzips anything, the zip must hold the release's three files and no
# link; then the commit must be on a branch or tag of this checkout, and its
# version (its CMakeLists.txt's) the read-me's and the zip's name's. Checks
# the sums of SUMS against the zip and the files in it, and the zip itself
# against the one that the commit's scripts/zip-dated makes of those files
# at the commit's time, byte for byte. Then it builds the commit unsigned
# with its own scripts/package.sh in a clone of this checkout, once the
# clone is at that commit, and compares each program, its signature
# removed, with the one built, and the read-me with the one that the
# commit's make-readme makes for the signer of each program. The read-me
# must pass this checkout's check of a readable one, and the signed programs
# this checkout's check of the imports, the header and the manifest.
# Prints "same" (or "passes") for each, or names what differs; exits with 1
# on any difference, at once where what follows could not be trusted.
set -u
export LC_ALL=C
# The zip tools take options from these.
unset ZIPOPT ZIP UNZIP UNZIPOPT ZIPINFO ZIPINFOOPT
[ $# -eq 2 ] || { echo "usage: check-signed-release.sh ZIP SUMS" >&2; exit 2; }
zip=$(realpath "$1") && sums=$(realpath "$2") || exit 2
cd "$(dirname "$0")/.."
root=$(pwd)
# What is compared is the unsigned build.
unset $(env | sed -n 's/^\(SEALMARK_SIGN_[A-Za-z0-9_]*\)=.*/\1/p')
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 129' HUP; trap 'exit 130' INT; trap 'exit 143' TERM
files="README.txt Sealmark.exe x64/Sealmark.exe"
status=0

same() {
  echo "same      $*"
}

different() {
  echo "DIFFERENT $*"
  status=1
}

# A difference after which nothing more can be checked.
refuse() {
  echo "DIFFERENT $*"
  exit 1
}

# The entries, read before anything is unzipped: the release's files, and
# none of them a link, which unzip would make as one.
zipinfo "$zip" >"$work/zipinfo" 2>&1 || { cat "$work/zipinfo"; refuse "zipinfo cannot read $zip as it is"; }
entries=$(zipinfo -1 "$zip" | sort | xargs)
[ "$entries" = "$files" ] || refuse "the zip holds $entries, not $files"
links=$(awk '/^l/ { print $NF }' "$work/zipinfo" | xargs)
[ -z "$links" ] || refuse "the zip holds links: $links"
unzip -q "$zip" -d "$work/zip" >"$work/unzip" 2>&1 || { cat "$work/unzip"; refuse "unzip cannot unzip $zip as it is"; }

line=$(tr -d '\r' <"$work/zip/README.txt" | tail -n 1)
version=$(echo "$line" | sed -n 's/^Sealmark \(.*\), built from commit [0-9a-f]\{40\}\.$/\1/p')
commit=$(echo "$line" | sed -n 's/^Sealmark .*, built from commit \([0-9a-f]\{40\}\)\.$/\1/p')
[ -n "$commit" ] || refuse "README.txt names no commit in its last line: $line"
if ! git cat-file -e "$commit^{commit}" 2>/dev/null; then
  echo "check-signed-release.sh: commit $commit is not in this checkout; fetch it first" >&2
  exit 1
fi
refs=$(git for-each-ref --contains "$commit" --format='%(refname:short)' refs/heads refs/tags | xargs)
[ -n "$refs" ] || refuse "commit $commit is on no branch or tag of this checkout"
echo "published $commit, on $refs"

expected=$(git show "$commit:CMakeLists.txt" | sed -n 's/^project(Sealmark VERSION \([^ )]*\).*/\1/p')
if [ -z "$expected" ] || [ "$version" != "$expected" ] ||
   [ "$(basename "$zip")" != "Sealmark-$expected-windows.zip" ]; then
  refuse "version: $commit is Sealmark ${expected:-of no version}; README.txt says $version, and the zip is named $(basename "$zip")"
fi
same "version $version, of $commit, in README.txt and the zip's name"

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

# The zip itself, packed again from its files as the commit packs them:
# bytes before or between the entries, other attributes or another order
# all make another zip.
cp -R "$work/zip" "$work/repacked"
git show "$commit:scripts/zip-dated" >"$work/zip-dated"
# shellcheck disable=SC2086
if TZ=UTC SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit") \
     sh "$work/zip-dated" "$work/repacked.zip" "$work/repacked" $files &&
   cmp -s "$work/repacked.zip" "$zip"; then
  same "$(basename "$zip"), as $commit zips the files in it"
else
  different "$(basename "$zip") from the zip that $commit makes of the files in it"
fi

clone=$work/clone
if ! git clone -q . "$clone" || ! git -C "$clone" checkout -q "$commit"; then
  refuse "$commit cannot be checked out in a clone of this checkout"
fi
head=$(git -C "$clone" rev-parse HEAD)
[ "$head" = "$commit" ] || refuse "the clone to build $commit in is at $head: nothing built"
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

"$root/scripts/check-readme" "$work/zip/README.txt" "$version" "$commit" || status=1
for program in Sealmark.exe x64/Sealmark.exe; do
  case $program in
    x64/*) objdump=x86_64-w64-mingw32-objdump list=release-win64.txt ;;
    *) objdump=i686-w64-mingw32-objdump list=release-win32.txt ;;
  esac
  if "$root/scripts/check-imports" "$(command -v "$objdump")" --functions \
       "$root/tests/imports/$list" "$work/zip/$program" >"$work/imports" 2>&1; then
    echo "passes    $program: the imports of $list, the header's system versions, the manifest"
  else
    sed 's/^/  /' "$work/imports"
    different "$program fails the check of its imports, header and manifest"
  fi
done
exit $status
