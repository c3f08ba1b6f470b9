#!/bin/sh
# check-signed-release.sh [--ca FILE]... ZIP SUMS: shows that a signed release
# zip is what the commit named in its README.txt makes, with the release's
# own signatures, and that they hold, taking nothing on the zip's word. Run
# in a checkout where a remote-tracking branch or a tag holds that commit.
# It installs nothing: where a tool that it or the build needs is missing,
# it names the tool and the command that installs it, and stops.
# Before it unzips anything, the zip must hold the release's three files,
# name by name, and no link; then the commit must be on a remote-tracking
# branch or a tag of this checkout, and its version (its CMakeLists.txt's)
# the read-me's and the zip's name's, and the read-me must pass this
# checkout's check of a readable one. Checks the sums of SUMS against the
# zip and the files in it, and the zip itself against the one that the
# commit's scripts/zip-dated makes of those files at the commit's time, byte
# for byte. Each program's signature must verify (its digest, and the
# signature over it) and lead to an authority that the check trusts: those
# that the --ca FILEs hold (PEM), or else the machine's; its certificates'
# dates count at the time of its timestamp, or now where it has none. Both
# programs must be signed by one certificate, which it prints, with nothing
# unsigned beside but its chain and a timestamp. Only then it builds the
# commit unsigned with the commit's own scripts/package.sh --no-setup in a
# clone of this checkout, once the clone is at that commit: each program
# built, with the release's signature attached, must be the release's
# program byte for byte, and the read-me the one that the commit's
# make-readme makes for the signer. The signed programs must pass this
# checkout's check of the imports, the header and the manifest.
# Prints "same" (or "verified", "passes") for each, or names what differs;
# exits with 1 on any difference, at once where what follows could not be
# trusted.
set -u
export LC_ALL=C
# The zip tools take options from these.
unset ZIPOPT ZIP UNZIP UNZIPOPT ZIPINFO ZIPINFOOPT
usage() {
  echo "usage: check-signed-release.sh [--ca FILE]... ZIP SUMS" >&2
  exit 2
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 129' HUP; trap 'exit 130' INT; trap 'exit 143' TERM
# The authorities that a signature must lead to: those of the --ca files
# alone, or else the machine's.
trusted=/etc/ssl/certs/ca-certificates.crt
while [ $# -gt 2 ]; do
  [ "$1" = --ca ] || usage
  grep -q -e '-----BEGIN CERTIFICATE-----' "$2" 2>/dev/null ||
    { echo "check-signed-release.sh: $2 holds no certificate in PEM" >&2; exit 2; }
  { cat "$2" && echo; } >>"$work/trusted.pem"
  trusted=$work/trusted.pem
  shift 2
done
[ $# -eq 2 ] || usage
zip=$(realpath "$1") && sums=$(realpath "$2") || exit 2
cd "$(dirname "$0")/.."
root=$(pwd)
# What is compared is the unsigned build.
unset $(env | sed -n 's/^\(SEALMARK_SIGN_[A-Za-z0-9_]*\)=.*/\1/p')

# The tools that the check and the build run, and the Debian packages that
# have them.
missing=""
while read -r tool package; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "check-signed-release.sh: $tool is missing; install it with: sudo apt-get install $package" >&2
    missing=yes
  fi
done <<EOF
git git
zip zip
unzip unzip
zipinfo unzip
osslsigncode osslsigncode
openssl openssl
cmake cmake
make make
i686-w64-mingw32-gcc-win32 gcc-mingw-w64-i686-win32
i686-w64-mingw32-g++-win32 g++-mingw-w64-i686-win32
i686-w64-mingw32-windres binutils-mingw-w64-i686
i686-w64-mingw32-objdump binutils-mingw-w64-i686
x86_64-w64-mingw32-gcc-win32 gcc-mingw-w64-x86-64-win32
x86_64-w64-mingw32-g++-win32 g++-mingw-w64-x86-64-win32
x86_64-w64-mingw32-windres binutils-mingw-w64-x86-64
x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64
EOF
if [ ! -s "$trusted" ]; then
  echo "check-signed-release.sh: the machine's authorities ($trusted) are missing; name the signer's with --ca, or install them with: sudo apt-get install ca-certificates" >&2
  missing=yes
fi
[ -z "$missing" ] || exit 1

files="README.txt Sealmark.exe x64/Sealmark.exe"
status=0
unverified=""

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

# field NAME CERTIFICATE: its subject, issuer, startdate or enddate.
field() {
  openssl x509 -in "$2" -noout "-$1" -nameopt oneline | sed 's/^[a-zA-Z]*= *//'
}

# fingerprint DIGEST CERTIFICATE
fingerprint() {
  openssl x509 -in "$2" -noout -fingerprint "-$1" | cut -d= -f2
}

# signature_holds PROGRAM: whether the signature of the release's PROGRAM
# holds: its digest, the signature over it, nothing unsigned in it but its
# chain and a timestamp, the timestamp, and a chain to an authority that the
# check trusts, at the timestamp's time or now. Says how, or what fails.
# Keeps in $work/signature/PROGRAM its certificates and its signer's.
signature_holds() {
  exe=$work/zip/$1
  at=$work/signature/$1
  mkdir -p "$at"
  if ! osslsigncode extract-signature -pem -in "$exe" -out "$at/signature.pem" >/dev/null 2>&1 ||
     ! "$root/scripts/signer-certificate" "$exe" >"$at/signer.pem" 2>/dev/null; then
    rm -f "$at/signer.pem"
    echo "no signature, or none that names its signer's certificate"
    return 1
  fi
  osslsigncode verify -ignore-cdp -CAfile "$trusted" -TSA-CAfile "$trusted" -in "$exe" >"$at/verify" 2>&1
  verified=$?
  # Unsigned, the signature may carry its chain and a timestamp, not a
  # nested signature or any other attribute or certificate.
  unsigned=$(openssl pkcs7 -in "$at/signature.pem" -print | awk '
    /^        [a-z_]+:/ { on = /^        unauth_attr:/ }
    on && /^            object: / && !($NF == "(1.3.6.1.4.1.311.3.3.1)" && !stamps++) { print $NF }' | xargs)
  if [ -n "$unsigned" ]; then
    echo "the signature: it carries unsigned attributes other than a timestamp: $unsigned"
    return 1
  fi
  openssl pkcs7 -in "$at/signature.pem" -print_certs >"$at/certificates.pem"
  awk -v at="$at" '/-----BEGIN CERTIFICATE-----/ { count++; on = 1 }
                   on { print >(at "/certificate" count ".pem") }
                   /-----END CERTIFICATE-----/ { on = 0; close(at "/certificate" count ".pem") }' "$at/certificates.pem"
  for file in "$at"/certificate[0-9]*.pem; do
    if ! cmp -s "$file" "$at/signer.pem" &&
       ! openssl verify -no-CAfile -no-CApath -no-CAstore -partial_chain -no_check_time -trusted "$file" \
           -untrusted "$at/certificates.pem" "$at/signer.pem" >/dev/null 2>&1; then
      echo "the signature: it carries $(field subject "$file"), which is not on its signer's chain"
      return 1
    fi
  done
  # The time of a timestamp counts where the timestamp verifies.
  stamp=$(sed -n 's/^[[:space:]]*Timestamp time: //p' "$at/verify")
  if grep -q '^Timestamp Server Signature verification: ok' "$at/verify"; then
    set -- -attime "$(date -u -d "$stamp" +%s)"
    when="at its timestamp's time, $stamp"
  else
    set --
    when="now, with no timestamp${stamp:+ that verifies}"
  fi
  openssl verify -no-CApath -no-CAstore -CAfile "$trusted" "$@" -show_chain -untrusted "$at/certificates.pem" \
    "$at/signer.pem" >"$at/chain" 2>&1
  chained=$?
  # osslsigncode passes a signature whose timestamp fails as one without.
  if [ $verified -eq 0 ] && [ $chained -eq 0 ] && { [ -z "$stamp" ] || [ $# -gt 0 ]; }; then
    echo "its digest and signature, and its chain up to $(sed -n 's/^depth=[0-9]*: //p' "$at/chain" | tail -n 1), $when"
    return 0
  fi
  # What fails, the first of: the digest; the chain, where the certificate at
  # the depth that fails comes before the error, and what no authority
  # vouches for is its issuer; the signature; the timestamp.
  if grep -q MISMATCH "$at/verify"; then
    echo "the digest: the program is not the one that was signed"
  elif [ $chained -ne 0 ]; then
    awk -v when="$when" '
      FNR == NR && !code && /^error [0-9]+ at [0-9]+ depth lookup: / {
        code = $2; reason = $0; sub(/^[^:]*: /, "", reason); failing = previous
      }
      FNR == NR { previous = $0; next }
      /^subject=/ { subject = substr($0, 9) }
      /^issuer=/ && subject == failing && issuer == "" { issuer = substr($0, 8) }
      END {
        if (code == 9 || code == 10) print "the date: " failing " is not valid " when " (" reason ")"
        else print "the chain: no authority that the check trusts vouches for " (issuer == "" ? failing : issuer) " (" reason ")"
      }' "$at/chain" "$at/certificates.pem"
  elif grep -q '^Signature verification: failed' "$at/verify"; then
    echo "the signature: it does not verify"
  elif [ -n "$stamp" ] && [ $# -eq 0 ]; then
    echo "the timestamp: it does not verify under an authority that the check trusts"
  else
    echo "the signature: osslsigncode verify refuses it"
  fi
  return 1
}

# The entries, read before anything is unzipped: the release's files, name
# by name, whatever the names hold (zipinfo shows a control character as
# ^X), and none of them a link, which unzip would make as one.
zipinfo "$zip" >"$work/zipinfo" 2>&1 || { cat "$work/zipinfo"; refuse "zipinfo cannot read $zip as it is"; }
zipinfo -1 "$zip" | sort >"$work/entries"
# shellcheck disable=SC2086
printf '%s\n' $files >"$work/files"
if ! cmp -s "$work/entries" "$work/files"; then
  echo "DIFFERENT the zip holds other entries than $files:"
  sed 's/^/  /' "$work/entries"
  exit 1
fi
links=$(awk '/^l/ { print $NF }' "$work/zipinfo" | xargs)
[ -z "$links" ] || refuse "the zip holds links: $links"
unzip -q "$zip" -d "$work/zip" >"$work/unzip" 2>&1 || { cat "$work/unzip"; refuse "unzip cannot unzip $zip as it is"; }

# The last line, shown where it names no commit, with a ? for each control
# character, such as the escapes that a terminal would obey.
line=$(tr -d '\r' <"$work/zip/README.txt" | tail -n 1 | tr '\000-\011\013-\037\177' '?')
version=$(echo "$line" | sed -n 's/^Sealmark \(.*\), built from commit [0-9a-f]\{40\}\.$/\1/p')
commit=$(echo "$line" | sed -n 's/^Sealmark .*, built from commit \([0-9a-f]\{40\}\)\.$/\1/p')
[ -n "$commit" ] || refuse "README.txt names no commit in its last line: $line"
if ! git cat-file -e "$commit^{commit}" 2>/dev/null; then
  echo "check-signed-release.sh: commit $commit is not in this checkout; fetch it first" >&2
  exit 1
fi
# Published: on what others can fetch, not on a branch of this checkout
# alone. A remote's HEAD merely points at one of its branches.
refs=$(git for-each-ref --contains "$commit" --format='%(refname:short) %(symref)' refs/remotes refs/tags |
  awk '$2 == "" { print $1 }' | xargs)
[ -n "$refs" ] || refuse "commit $commit is on no remote branch or tag of this checkout: push it, then fetch"
echo "published $commit, on $refs"

expected=$(git show "$commit:CMakeLists.txt" | sed -n 's/^project(Sealmark VERSION \([^ )]*\).*/\1/p')
if [ -z "$expected" ] || [ "$version" != "$expected" ] ||
   [ "$(basename "$zip")" != "Sealmark-$expected-windows.zip" ]; then
  refuse "version: $commit is Sealmark ${expected:-of no version}; README.txt says $version, and the zip is named $(basename "$zip")"
fi
same "version $version, of $commit, in README.txt and the zip's name"
"$root/scripts/check-readme" "$work/zip/README.txt" "$version" "$commit" || exit 1

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

# The signatures, before anything is built.
if [ "$trusted" = "$work/trusted.pem" ]; then
  echo "trusting  the certificates of --ca, $(grep -c -e '-----BEGIN CERTIFICATE-----' "$trusted") in all, and none of the machine's"
else
  echo "trusting  the machine's authorities, $trusted"
fi
for program in Sealmark.exe x64/Sealmark.exe; do
  if holds=$(signature_holds "$program"); then
    echo "verified  $program: $holds"
  else
    different "$program: $holds"
    unverified=yes
  fi
done
signer=$work/signature/Sealmark.exe/signer.pem
other=$work/signature/x64/Sealmark.exe/signer.pem
if [ -s "$signer" ] && [ -s "$other" ] && ! cmp -s "$signer" "$other"; then
  different "x64/Sealmark.exe: another signer, $(field subject "$other"), SHA-256 $(fingerprint sha256 "$other"), than Sealmark.exe's"
  unverified=yes
fi
if [ -s "$signer" ]; then
  echo "signer    $(field subject "$signer")"
  echo "  issuer  $(field issuer "$signer")"
  echo "  valid   from $(field startdate "$signer") until $(field enddate "$signer")"
  echo "  SHA-256 $(fingerprint sha256 "$signer"), the fingerprint to compare with the one published"
  echo "  SHA-1   $(fingerprint sha1 "$signer" | tr -d : | tr 'A-F' 'a-f'), the thumbprint that Windows shows"
fi
[ -z "$unverified" ] || exit 1

# A package.sh from before --no-setup would install packages.
if ! git show "$commit:scripts/package.sh" | grep -q -e --no-setup; then
  echo "check-signed-release.sh: the scripts/package.sh of $commit installs packages before it builds; it is not run, and nothing is built" >&2
  exit 1
fi
# A local clone copies every object, also of remote-tracking branches.
clone=$work/clone
if ! git clone -q . "$clone" || ! git -C "$clone" checkout -q "$commit"; then
  refuse "$commit cannot be checked out in a clone of this checkout"
fi
head=$(git -C "$clone" rev-parse HEAD)
[ "$head" = "$commit" ] || refuse "the clone to build $commit in is at $head: nothing built"
if ! "$clone/scripts/package.sh" --no-setup >"$work/package.log" 2>&1; then
  cat "$work/package.log"
  echo "check-signed-release.sh: cannot pack commit $commit unsigned" >&2
  exit 1
fi
built=$clone/build/package/stage

for program in Sealmark.exe x64/Sealmark.exe; do
  # attach-signature writes the program, then fails where the signature
  # does not verify under the machine's authorities: the bytes alone count.
  osslsigncode extract-signature -in "$work/zip/$program" -out "$work/signature/$program/signature.der" \
    >/dev/null 2>&1
  osslsigncode attach-signature -sigin "$work/signature/$program/signature.der" -in "$built/$program" \
    -out "$work/signature/$program/attached.exe" >/dev/null 2>&1
  if cmp -s "$work/signature/$program/attached.exe" "$work/zip/$program"; then
    same "$program, as $commit builds it with the release's signature attached"
  else
    different "$program from the one that $commit builds, with the release's signature attached"
  fi
  if "$clone/scripts/make-readme" "$version" "$commit" "$work/zip/$program" >"$work/README.txt" &&
     cmp -s "$work/README.txt" "$work/zip/README.txt"; then
    same "README.txt, as $commit packs it for the signer of $program"
  else
    different "README.txt from the one that $commit packs for the signer of $program:"
    diff "$work/zip/README.txt" "$work/README.txt" | tr -d '\r' | sed -n 's/^</  -/p; s/^>/  +/p'
  fi
done

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
