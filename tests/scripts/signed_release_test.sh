#!/bin/sh
# signed_release_test.sh: packs a clean clone of this commit signed from a
# PKCS#12 file and from a softhsm2 token, with a throwaway authority and an
# RFC 3161 responder on the loopback made in a temporary folder, and checks
# the release (README's "Signing a release" lists what). Needs the win32 and
# win64 presets built.
set -u
cd "$(dirname "$0")/../.."
root=$(pwd)
work=$(mktemp -d)
pki=$work/pki
clone=$work/clone
passed=0
failed=0
server=""
trap '[ -z "$server" ] || kill "$server"; "$root/scripts/wine-prefix" remove "$work/wine"; rm -rf "$work"' EXIT
trap 'exit 129' HUP; trap 'exit 130' INT; trap 'exit 143' TERM

# check DESCRIPTION COMMAND...: runs the command and counts it, showing its
# output where it fails.
check() {
  description=$1
  shift
  if "$@" >"$work/out" 2>&1; then
    echo "ok      $description" && passed=$((passed + 1))
  else
    echo "FAILED  $description" && sed 's/^/  /' "$work/out" && failed=$((failed + 1))
  fi
  cat "$work/out" >>"$work/all.log"
}

# fails_saying PATTERN COMMAND...: the command fails, saying PATTERN;
# says PATTERN COMMAND...: it succeeds, saying PATTERN.
fails_saying() { ends_saying 1 "$@"; }
says() { ends_saying 0 "$@"; }
ends_saying() {
  failure=$1
  pattern=$2
  shift 2
  "$@" >"$work/said" 2>&1
  status=$?
  cat "$work/said"
  [ $((status != 0)) -eq "$failure" ] && grep -q "$pattern" "$work/said"
}

mkdir -p "$pki/tokens" && cd "$pki" || exit 1
password=$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')
pin=$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')
printf '%s\n' "$password" >password && printf '%s\n' "$pin" >pin && echo wrong >wrong && echo 01 >serial
echo 01 >ca-serial && : >index.txt
printf '%s\n' '[code]' 'extendedKeyUsage = codeSigning' '[web]' 'extendedKeyUsage = serverAuth' \
  '[commercial]' 'extendedKeyUsage = msCodeCom' '[prefix]' 'extendedKeyUsage = 1.3.6.1.5.5.7.3.3.1' '[tsa]' 'extendedKeyUsage = critical, timeStamping' \
  '[responder]' 'serial = serial' 'signer_cert = tsa.pem' 'signer_key = tsa.key' 'certs = ca.pem' \
  'signer_digest = sha256' 'default_policy = 1.2.3.4' 'digests = sha256' '[ca]' 'default_ca = authority' \
  '[authority]' 'database = index.txt' 'new_certs_dir = .' 'serial = ca-serial' 'policy = any' \
  'default_md = sha256' '[any]' 'commonName = supplied' >openssl.cnf
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -subj "/CN=Sealmark Test Authority" -days 3 \
  -out ca.pem 2>/dev/null
# issue NAME SECTION FROM UNTIL: a certificate of the authority valid from
# FROM until UNTIL (as date takes them), and its PKCS#12 file with the
# authority's certificate.
issue() {
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -subj "/CN=Sealmark Test $1" -out "$1.csr" 2>/dev/null &&
    openssl ca -batch -notext -config openssl.cnf -cert ca.pem -keyfile ca.key -extensions "$2" \
      -startdate "$(date -u -d "$3" +%Y%m%d%H%M%SZ)" -enddate "$(date -u -d "$4" +%Y%m%d%H%M%SZ)" \
      -in "$1.csr" -out "$1.pem" 2>/dev/null &&
    openssl pkcs12 -export -in "$1.pem" -inkey "$1.key" -certfile ca.pem -passout file:password -out "$1.p12"
}
issue code code now "+1 day" && issue expired code "-2 days" "-1 day" && issue future code "+1 day" "+2 days" &&
  issue web web now "+1 day" && issue commercial commercial now "+1 day" && issue tsa tsa now "+1 day" &&
  issue prefix prefix now "+1 day" && issue second code now "+1 day" &&
  openssl pkcs12 -export -in code.pem -inkey code.key -passout file:password -out unchained.p12 || exit 1
# A look-alike of the signer, self-signed; and the signer's chain with a
# certificate off it.
openssl req -x509 -newkey rsa:2048 -nodes -keyout lookalike.key -subj "/CN=Sealmark Test code" -days 1 \
  -addext extendedKeyUsage=codeSigning -out lookalike.pem 2>/dev/null && cat code.pem ca.pem web.pem >extra.pem || exit 1
export SOFTHSM2_CONF="$pki/softhsm2.conf"
echo "directories.tokendir = $pki/tokens" >"$SOFTHSM2_CONF"
openssl pkcs8 -topk8 -nocrypt -in code.key -out code.pk8 && cat ca.pem code.pem >chain.pem &&
  softhsm2-util --init-token --free --label sealmark --so-pin "$pin" --pin "$pin" >/dev/null &&
  softhsm2-util --import code.pk8 --token sealmark --label code --id 01 --pin "$pin" >/dev/null || exit 1
# The responder prints the port that the system gave it once it listens.
python3 -c 'import http.server, subprocess
class Responder(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.end_headers()
        self.wfile.write(subprocess.run(["openssl", "ts", "-reply", "-config", "openssl.cnf", "-section",
            "responder", "-queryfile", "/dev/stdin"], input=query, capture_output=True).stdout)
server = http.server.HTTPServer(("127.0.0.1", 0), Responder)
print(server.server_port, flush=True)
server.serve_forever()' >port 2>/dev/null &
server=$!
while [ ! -s port ] && kill -0 "$server" 2>/dev/null; do sleep 0.1; done
timestamp=http://127.0.0.1:$(cat port)
cd "$root" && git clone -q "$root" "$clone" || exit 1
# From here on each osslsigncode and openssl notes its arguments, where no
# password or PIN may show.
mkdir "$work/noting"
for tool in osslsigncode openssl; do
  printf '#!/bin/sh\necho "%s $*" >>"%s"\nexec "%s" "$@"\n' "$tool" "$work/arguments" "$(command -v "$tool")" \
    >"$work/noting/$tool" && chmod +x "$work/noting/$tool"
done
PATH=$work/noting:$PATH

# The scripts' temporary folders go where they can be counted: those of
# the packing here, all from the checks on.
mkdir "$work/temporary" || exit 1

# pack NAME VARIABLE=VALUE...: packs the clone so, keeping the zip, its sums
# and its files in NAME.
pack() {
  name=$1
  shift
  env "$@" SEALMARK_SIGN_TIMESTAMP="$timestamp" TMPDIR="$work/temporary" "$clone/scripts/package.sh" &&
    mkdir "$work/$name" &&
    cp "$clone"/build/*.zip "$clone/build/SHA256SUMS" "$work/$name" && unzip -q "$work/$name"/*.zip -d "$work/$name"
}
check "packed signed from a PKCS#12 file" pack p12 SEALMARK_SIGN_PKCS12="$pki/code.p12" \
  SEALMARK_SIGN_PASSWORD_FILE="$pki/password"
module=/usr/lib/softhsm/libsofthsm2.so
key="pkcs11:token=sealmark;object=code;type=private"
check "packed signed from a token" pack token SEALMARK_SIGN_PKCS11_MODULE="$module" SEALMARK_SIGN_PKCS11_KEY="$key" \
  SEALMARK_SIGN_CERTS="$pki/chain.pem" SEALMARK_SIGN_PASSWORD_FILE="$pki/pin"

# verified FILE: osslsigncode finds one SHA-256 signature of Sealmark, with
# its address, and its timestamp, valid under the throwaway authority.
verified() {
  osslsigncode verify -CAfile "$pki/ca.pem" -TSA-CAfile "$pki/ca.pem" -in "$1" >"$work/verify" 2>&1
  status=$?
  cat "$work/verify"
  for line in "Message digest algorithm  : SHA256" "Text description: Sealmark" \
    "URL description: https://github.com/sealmark/sealmark" "Number of verified signatures: 1" \
    "Timestamp Server Signature verification: ok" "Signature verification: ok"; do
    sed 's/^[[:space:]]*//' "$work/verify" | grep -qxF "$line" || { echo "missing: $line" && status=1; }
  done
  return $status
}
trusted() { WINEPREFIX=$work/wine scripts/wine-run build/win32/verify_trust.exe "$1"; }
# e2e PRESET PROGRAM: the preset's end-to-end tests, some of them at least,
# on a copy of the program beside the DLL that they plant.
e2e() {
  mkdir "$work/$1" && cp "$2" "build/$1/planted_dll.dll" "$work/$1" && cd "$work/$1" &&
    WINEPREFIX=$work/wine "$root/scripts/wine-run" "$root/build/$1/e2e_tests.exe" Sealmark.exe \
      --gtest_filter='FullSizeCheckRun.*:CheckRun.*' >"$work/e2e" 2>&1
  status=$?
  cd "$root" && cat "$work/e2e"
  [ $status -eq 0 ] && grep -q '^\[  PASSED  \] [1-9]' "$work/e2e"
}
scripts/wine-prefix create "$work/wine" "$root/build/win32/shell_recorder.exe"
for program in p12/Sealmark.exe p12/x64/Sealmark.exe token/Sealmark.exe token/x64/Sealmark.exe; do
  check "$program: osslsigncode verify accepts it and its timestamp" verified "$work/$program"
  check "$program: WinVerifyTrust finds it intact" trusted "$work/$program"
done
cp "$work/p12/Sealmark.exe" "$work/changed.exe"
printf 'X' | dd of="$work/changed.exe" bs=1 seek=4096 conv=notrunc 2>/dev/null
check "a program with one byte changed fails osslsigncode verify" \
  fails_saying 'message digest.*MISMATCH' verified "$work/changed.exe"
check "WinVerifyTrust finds a bad digest in it" fails_saying TRUST_E_BAD_DIGEST trusted "$work/changed.exe"
check "the end-to-end tests pass on the signed 32-bit program" e2e win32 "$work/p12/Sealmark.exe"
check "the end-to-end tests pass on the signed 64-bit program" e2e win64 "$work/token/x64/Sealmark.exe"

# Doctored releases. doctored NAME ZIP EDIT: the files of the one packed
# from the PKCS#12 file, in NAME, where the command EDIT changes them; then
# zipped as ZIP as the packing zips them, where EDIT made no zip, with sums
# to match.
zip=$(basename "$work"/p12/*.zip)
files="README.txt Sealmark.exe x64/Sealmark.exe"
commit=$(git -C "$clone" rev-parse HEAD)
unpublished=$(git -C "$clone" commit-tree "$commit^{tree}" -p "$commit" -m "On no branch") || exit 1
doctored() {
  mkdir "$work/$1" && cp -R "$work/p12/README.txt" "$work/p12/Sealmark.exe" "$work/p12/x64" "$work/$1" &&
    (cd "$work/$1" && eval "$3" && { [ -f "$2" ] || SOURCE_DATE_EPOCH=$(git -C "$clone" log -1 --format=%ct) \
      "$root/scripts/zip-dated" "$2" . $files; } && sha256sum "$2" $files >SHA256SUMS)
}
# number FILE OFFSET SIZE: the little-endian number of SIZE bytes there;
# put FILE OFFSET BYTE...: writes the bytes there; le32 NUMBER: its four.
number() { od -An -tu"$3" -j "$2" -N "$3" "$1" | tr -d ' '; }
# shellcheck disable=SC2059
put() { printf "$(shift 2 && printf '\\%03o' "$@")" | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null; }
le32() { echo $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
# hide PROGRAM: 64 bytes more in its certificate table, which the table's
# length and the header's entry for it take in.
# shellcheck disable=SC2046
hide() {
  pe=$(number "$1" 60 4) && magic=$(number "$1" $((pe + 24)) 2) || return 1
  entry=$((pe + 24 + (magic == 523 ? 112 : 96) + 32))
  table=$(number "$1" $entry 4) && size=$(number "$1" $((entry + 4)) 4) && head -c 64 /dev/urandom >>"$1" &&
    put "$1" $((entry + 4)) $(le32 $((size + 64))) && put "$1" "$table" $(le32 $((size + 64)))
}
# flip PROGRAM N: a byte flipped in the Nth signature value of its
# signature: 1, the signer's; 2, its timestamp's.
flip() {
  osslsigncode extract-signature -in "$1" -out "$1.der" >/dev/null &&
    at=$(openssl asn1parse -inform DER -in "$1.der" |
      awk -F: -v n="$2" '/l= 256 prim: *OCTET STRING/ && ++seen == n { print $1 + 20; exit }') &&
    put "$1.der" "$at" $(($(number "$1.der" "$at" 1) ^ 1)) && attach "$1.der" "$1"
}
# attach SIGNATURE PROGRAM: the signature in place of PROGRAM's, though it
# does not match (osslsigncode then fails, having written the program).
attach() {
  osslsigncode remove-signature -in "$2" -out "$2.unsigned" >/dev/null &&
    { osslsigncode attach-signature -sigin "$1" -in "$2.unsigned" -out "$2.new" >/dev/null 2>&1; mv "$2.new" "$2"; }
}
# resign "PROGRAM..." OPTION...: each PROGRAM signed anew, as osslsigncode
# sign takes the OPTIONs.
resign() {
  list=$1
  shift
  for program in $list; do
    osslsigncode remove-signature -in "$program" -out "$program.unsigned" >/dev/null &&
      osslsigncode sign -h sha256 -n Sealmark "$@" -in "$program.unsigned" -out "$program.new" >/dev/null &&
      mv "$program.new" "$program" || return 1
  done
}
programs="Sealmark.exe x64/Sealmark.exe"
# The release's commit on a branch of a checkout of its own, and one on,
# whose package.sh runs setup.sh, whatever its arguments, as before
# --no-setup.
git init -q "$work/local" && git -C "$work/local" fetch -q "$clone" "$commit" &&
  git -C "$work/local" checkout -q -b never-pushed "$commit" &&
  sed -i -e 's/\[ "\$\*" = --no-setup \] || //' -e '/--no-setup/d' "$work/local/scripts/package.sh" &&
  git -C "$work/local" commit -qam "As before --no-setup" && predating=$(git -C "$work/local" rev-parse HEAD) || exit 1
# changed: a word of the read-me, bytes hidden in Sealmark.exe's certificate
# table, zip's extra fields, and below the sum of Sealmark.exe alone;
# flipped: a byte of Sealmark.exe's signature and one of x64/Sealmark.exe;
# stamped: a byte of a timestamp's signature; second: x64/Sealmark.exe
# signed by a second certificate; extra: a certificate off the chain in
# Sealmark.exe's signature, a signature nested in x64/Sealmark.exe's;
# unpublished: a commit on no branch or tag; predating: the commit above;
# prefixed: the token's release in front; linked: README.txt a link out of
# the folder; inside: one to Sealmark.exe; escaped: a last line of the
# read-me with a terminal's escapes.
while read -r name zip_name edit; do
  doctored "$name" "$zip_name" "$edit" || exit 1
done <<EOF
changed $zip sed -i 's/signed by/signed, so they say, by/' README.txt && hide Sealmark.exe && zip -q -D $zip $files
flipped $zip flip Sealmark.exe 1 && printf X | dd of=x64/Sealmark.exe bs=1 seek=4096 conv=notrunc 2>/dev/null
stamped $zip flip Sealmark.exe 2
moved $zip osslsigncode extract-signature -in x64/Sealmark.exe -out x64.der >/dev/null && attach x64.der Sealmark.exe
lookalike $zip resign "$programs" -certs $pki/lookalike.pem -key $pki/lookalike.key -ts $timestamp
expired $zip resign "$programs" -pkcs12 $pki/expired.p12 -readpass $pki/password
second $zip resign x64/Sealmark.exe -pkcs12 $pki/second.p12 -readpass $pki/password -ts $timestamp
extra $zip resign Sealmark.exe -certs $pki/extra.pem -key $pki/code.key -ts $timestamp && osslsigncode sign -nest -pkcs12 $pki/second.p12 -readpass $pki/password -h sha256 -in x64/Sealmark.exe -out nested.exe >/dev/null && mv nested.exe x64/Sealmark.exe
blank $zip mkdir 'Sealmark.exe x64' && cp x64/Sealmark.exe 'Sealmark.exe x64' && zip -q -X -D $zip README.txt 'Sealmark.exe x64/Sealmark.exe'
relabelled Sealmark-2.0.0-windows.zip sed -i 's/^Sealmark [^ ]*, built/Sealmark 2.0.0, built/' README.txt
unpublished $zip sed -i s/$commit/$unpublished/ README.txt
predating $zip sed -i s/$commit/$predating/ README.txt
prefixed $zip cat $work/token/*.zip $work/p12/$zip >$zip
linked $zip rm README.txt && ln -s /etc/hostname README.txt && zip -q -X -D -y $zip $files
inside $zip rm README.txt && ln -s Sealmark.exe README.txt && zip -q -X -D -y $zip $files
escaped $zip printf 'Sealmark \033]0;Sealmark\007\r\n' >>README.txt
renamed Sealmark-2.0.0-windows.zip :
wide $zip sed -i '1s/^/Zürich: /' README.txt
EOF
sed -i "3s/^[0-9a-f]*/$(printf '%064d' 0)/" "$work/changed/SHA256SUMS"
# A checkout one commit on, whose clone git's checkout leaves there.
git clone -q "$clone" "$work/later" && git -C "$work/later" commit -q --allow-empty -m Later &&
  mkdir "$work/stuck" && printf '#!/bin/sh\ncase " $* " in *" checkout "*) exit 0 ;; esac\nexec "%s" "$@"\n' \
    "$(command -v git)" >"$work/stuck/git" && chmod +x "$work/stuck/git" || exit 1
# The commits of local above on its branch's remote-tracking branch alone,
# in a clone of it whose HEAD, with the release's files, is on a branch
# without it.
git clone -q "$work/local" "$work/fetched" && git -C "$work/fetched" checkout -q --detach "$commit" &&
  git -C "$work/fetched" checkout -q --orphan elsewhere && git -C "$work/fetched" commit -qm Elsewhere &&
  git -C "$work/fetched" branch -q -D never-pushed || exit 1
# Stand-ins for the installers, which note a call; dpkg-query says that
# googletest is missing. And every tool but osslsigncode.
mkdir "$work/installers" "$work/bare" && ln -s /usr/bin/* "$work/bare" && rm "$work/bare/osslsigncode" || exit 1
for tool in sudo apt-get apt npm; do
  printf '#!/bin/sh\necho "%s $*" >>"%s"\nexit 1\n' "$tool" "$work/installed" >"$work/installers/$tool"
done
printf '#!/bin/sh\ncase " $* " in *" googletest "*) exit 1 ;; esac\nexec "%s" "$@"\n' "$(command -v dpkg-query)" \
  >"$work/installers/dpkg-query" && chmod +x "$work/installers"/* || exit 1
export TMPDIR="$work/temporary"

# ran NAME CHECKOUT ARGUMENT...: CHECKOUT's check-signed-release.sh, with
# the stand-ins for the installers first in PATH; its output and status kept
# for NAME. checked NAME STATUS PATTERN: that check, run where not yet for a
# doctored release NAME, trusting the test's authority, exited with STATUS
# and said PATTERN.
ran() {
  name=$1
  checkout=$2
  shift 2
  env PATH="$work/installers:$PATH" "$checkout/scripts/check-signed-release.sh" "$@" >"$work/$name.checked" 2>&1
  echo $? >"$work/$name.status"
}
checked() {
  [ -f "$work/$1.checked" ] || ran "$1" "$clone" --ca "$pki/ca.pem" "$work/$1"/*.zip "$work/$1/SHA256SUMS"
  cat "$work/$1.checked"
  [ "$(cat "$work/$1.status")" -eq "$2" ] && grep -q "$3" "$work/$1.checked"
}
ran good "$work/fetched" --ca "$pki/ca.pem" "$work/p12/$zip" "$work/p12/SHA256SUMS"
ran untrusted "$clone" "$work/p12/$zip" "$work/p12/SHA256SUMS"
ran local "$work/local" --ca "$pki/ca.pem" "$work/p12/$zip" "$work/p12/SHA256SUMS"
ran predating "$work/fetched" --ca "$pki/ca.pem" "$work/predating/$zip" "$work/predating/SHA256SUMS"
sha256=$(openssl x509 -in "$pki/code.pem" -noout -fingerprint -sha256 | cut -d= -f2)
sha1=$(openssl x509 -in "$pki/code.pem" -noout -fingerprint -sha1 | cut -d= -f2 | tr -d : | tr A-F a-f)
while read -r name status pattern what; do
  check "check-signed-release.sh $what" checked "$name" "$status" "$pattern"
done <<EOF
good 0 ^published.$commit,.on.origin/never-pushed$ passes the release from the PKCS#12 file, on a remote branch alone
good 0 ^trusting..the.certificates.of.--ca,.1.in.all trusts the authority of --ca alone
good 0 ^..SHA-256.$sha256, names the signer's certificate by its SHA-256 fingerprint
good 0 ^..SHA-1.*$sha1, and by its SHA-1 thumbprint
good 0 ^verified..x64/Sealmark.exe:.*timestamp's.time,.[A-Z] and the time of its timestamp
untrusted 1 ^DIFFERENT.Sealmark.exe:.the.chain:.*for.CN.=.Sealmark.Test.Authority.( refuses it without --ca, naming the authority
local 1 ^DIFFERENT.commit.$commit.is.on.no.remote.branch.or.tag.of.this.checkout:.push.it,.then.fetch$ refuses a commit on a local branch alone
changed 1 ^DIFFERENT.README.txt.from refuses a read-me with a word changed
changed 1 ^DIFFERENT.Sealmark.exe.from.the.one refuses a program with bytes hidden in its certificate table
changed 1 ^DIFFERENT.SHA256SUMS refuses SHA256SUMS wrong in one program's line alone
changed 1 ^DIFFERENT.$zip.from refuses a zip with extra fields
flipped 1 ^DIFFERENT.Sealmark.exe:.the.signature: refuses a byte of a signature flipped
flipped 1 ^DIFFERENT.x64/Sealmark.exe:.the.digest refuses a program with one byte changed
stamped 1 ^DIFFERENT.Sealmark.exe:.the.timestamp: refuses a timestamp that does not verify
moved 1 ^DIFFERENT.Sealmark.exe:.the.digest refuses the 64-bit program's signature on the 32-bit one
lookalike 1 ^DIFFERENT.Sealmark.exe:.the.chain:.*for.CN.=.Sealmark.Test.code.( refuses a self-signed look-alike of the signer
expired 1 ^DIFFERENT.Sealmark.exe:.the.date:.*now,.with.no.timestamp refuses a certificate past its end date, untimestamped
second 1 ^DIFFERENT.x64/Sealmark.exe:.another.signer refuses x64\Sealmark.exe signed by another certificate of the authority
extra 1 ^DIFFERENT.Sealmark.exe:.the.signature:.it.carries.CN.=.Sealmark.Test.web refuses a certificate off the chain
extra 1 ^DIFFERENT.x64/Sealmark.exe:.the.signature:.*(1.3.6.1.4.1.311.2.4.1) refuses a nested signature
blank 1 ^DIFFERENT.the.zip.holds.other.entries refuses entry names with a blank
inside 1 ^DIFFERENT.the.zip.holds.links:.README.txt refuses a link to a file of the zip
escaped 1 ^DIFFERENT.README.txt.names.no.commit.in.its.last.line:.Sealmark.?]0;Sealmark?$ shows a read-me's last line without its escapes
linked 1 ^DIFFERENT.the.zip.holds.links:.README.txt refuses an entry that is a link
relabelled 1 ^DIFFERENT.version:.*says.2.0.0 refuses a relabelled version
renamed 1 ^DIFFERENT.version:.*the.zip.is.named.Sealmark-2.0.0-windows.zip refuses a renamed zip
unpublished 1 ^DIFFERENT.commit.$unpublished.is.on.no.remote.branch refuses a commit on no branch or tag
predating 1 ^check-signed-release.sh:.the.scripts/package.sh.of.$predating.installs refuses a package.sh that installs
prefixed 1 ^DIFFERENT.*cannot.*as.it.is refuses a zip with another in front
EOF
check "check-signed-release.sh refuses to build in a clone at another commit" fails_saying \
  "^DIFFERENT the clone to build $commit in is at $(git -C "$work/later" rev-parse HEAD): nothing built" \
  env PATH="$work/stuck:$PATH" "$work/later/scripts/check-signed-release.sh" --ca "$pki/ca.pem" "$work/p12/$zip" \
  "$work/p12/SHA256SUMS"
# ended NAME PATTERN: the check of NAME stopped at once, saying PATTERN last.
ended() { checked "$1" 1 "$2" && tail -n 1 "$work/$1.checked" | grep -q "$2"; }
check "check-signed-release.sh refuses a read-me that Notepad would not show as written, before anything is built" \
  ended wide '^WRONG     README.txt'
# alone PATTERN COMMAND...: the command fails, saying PATTERN and no more.
alone() { fails_saying "$@" && [ "$(wc -l <"$work/said")" -eq 1 ]; }
check "check-signed-release.sh names a missing tool and its package, and stops" alone \
  "^check-signed-release.sh: osslsigncode is missing; install it with: sudo apt-get install osslsigncode$" \
  env PATH="$work/bare" "$clone/scripts/check-signed-release.sh" "$work/p12/$zip" "$work/p12/SHA256SUMS"
check "osslsigncode verify takes the program with bytes hidden in its certificate table" \
  verified "$work/changed/Sealmark.exe"
check "no check called sudo, apt-get, apt or npm, though dpkg-query has googletest missing" test ! -e "$work/installed"

# The program signed from the PKCS#12 file with the two certificates of its
# signature swapped, the authority's first: the same lengths, the same
# signature. Their offsets and sizes: the first two elements of the
# SignedData's [0].
osslsigncode extract-signature -in "$work/p12/Sealmark.exe" -out "$work/signature.der" >/dev/null &&
  osslsigncode remove-signature -in "$work/p12/Sealmark.exe" -out "$work/unsigned.exe" >/dev/null || exit 1
set -- $(openssl asn1parse -inform DER -in "$work/signature.der" | awk '{ sub(/^ */, ""); split($0, f, /[:= ]+/) }
  certificates && f[3] == 4 { print f[1], f[5] + f[7]; if (++n == 2) exit }
  f[3] == 3 && /cont \[ 0 \]/ { certificates = 1 }')
(cd "$work" && { head -c "$1" signature.der && tail -c +$(($3 + 1)) signature.der | head -c "$4" &&
  tail -c +$(($1 + 1)) signature.der | head -c "$2" && tail -c +$(($3 + $4 + 1)) signature.der; } >swapped.der) &&
  osslsigncode attach-signature -sigin "$work/swapped.der" -CAfile "$pki/ca.pem" -in "$work/unsigned.exe" \
    -out "$work/swapped.exe" >/dev/null 2>&1
if osslsigncode extract-signature -pem -in "$work/swapped.exe" -out "$work/swapped.pem" >/dev/null 2>&1 &&
   openssl pkcs7 -in "$work/swapped.pem" -print_certs | grep -m 1 '^subject' | grep -q 'Test Authority$'; then
  check "the read-me names the signer, not the first certificate of the signature" \
    says '^  Sealmark Test code' "$clone/scripts/make-readme" 1.0.0 "$commit" "$work/swapped.exe"
else
  echo "SKIPPED the read-me's signer: no signature with the authority's certificate first could be made"
fi

# refused FILE PASSWORD_FILE MESSAGE: packing with the PKCS#12 FILE, or the
# token with the certificates FILE, stops with MESSAGE before anything is
# built, leaving no zip (the token's was there before) in build/.
refused() {
  case $1 in
    *.p12) set -- "$3" SEALMARK_SIGN_PKCS12="$pki/$1" SEALMARK_SIGN_PASSWORD_FILE="$pki/$2" ;;
    *) set -- "$3" SEALMARK_SIGN_PKCS11_MODULE="$module" SEALMARK_SIGN_PKCS11_KEY="$key" \
         SEALMARK_SIGN_CERTS="$pki/$1" SEALMARK_SIGN_PASSWORD_FILE="$pki/$2" ;;
  esac
  message=$1
  shift
  fails_saying "$message" env "$@" "$clone/scripts/package.sh" &&
    [ ! -e "$clone/build/package" ] && [ -z "$(find "$clone/build" -name '*.zip' -o -name '*.signed')" ]
}
# untimely: with a time-stamping server that refuses, packing stops after
# the build, leaving no program to be packed.
untimely() {
  fails_saying "could not be signed; nothing is packed" env SEALMARK_SIGN_PKCS12="$pki/code.p12" \
    SEALMARK_SIGN_PASSWORD_FILE="$pki/password" SEALMARK_SIGN_TIMESTAMP=http://127.0.0.1:1 \
    "$clone/scripts/package.sh" && [ -d "$clone/build/package" ] && [ ! -e "$clone/build/package/stage" ]
}
# unchanged: sign-programs refuses a program whose size is no multiple of 8,
# leaving it as it was and no signed file.
unchanged() {
  fails_saying "does not give back its bytes" env SEALMARK_SIGN_PKCS12="$pki/code.p12" \
    SEALMARK_SIGN_PASSWORD_FILE="$pki/password" "$clone/scripts/sign-programs" Sealmark https://example.invalid \
    "$work/odd.exe" && cmp "$work/odd.exe" "$work/odd.before" && [ ! -e "$work/odd.exe.signed" ]
}
while read -r file password_file message; do
  check "refused: $file with $password_file ($message)" refused "$file" "$password_file" "$message"
done <<EOF
expired.p12 password expired on
future.p12 password is not valid before
web.p12 password is not for code signing
commercial.p12 password is not for code signing
prefix.p12 password is not for code signing
code.pem pin Sealmark Test Authority, is not among the certificates
unchained.p12 password Sealmark Test Authority, is not among the certificates
code.p12 wrong does not open
EOF
check "packing stops where osslsigncode cannot sign, leaving no program to be packed" untimely
cp build/win32/Sealmark.exe "$work/untimed.exe" && cp "$work/untimed.exe" "$work/odd.exe" &&
  printf odd >>"$work/odd.exe" && cp "$work/odd.exe" "$work/odd.before" || exit 1
check "sign-programs leaves a program whose signature would not come off as it was" unchanged
check "signing without a timestamp warns that the signature ends with the certificate" says \
  "warning: no timestamp.*expires, on $(openssl x509 -in "$pki/code.pem" -noout -enddate | cut -d= -f2)" \
  env SEALMARK_SIGN_PKCS12="$pki/code.p12" SEALMARK_SIGN_PASSWORD_FILE="$pki/password" \
  "$clone/scripts/sign-programs" Sealmark https://example.invalid "$work/untimed.exe"
left() { ls -A "$TMPDIR"; [ -z "$(ls -A "$TMPDIR")" ]; }
check "the packing, the checks and the signing leave no temporary folder" left
# The stand-ins saw the password's and the PIN's files handed over.
secrets_nowhere() {
  grep -q '^osslsigncode sign ' "$work/arguments" && grep -q '^openssl pkey .*-engine' "$work/arguments" &&
    { grep -rlF -e "$password" -e "$pin" "$work/all.log" "$work/arguments" "$clone/build"; [ $? -eq 1 ]; }
}
check "the password and the PIN show in no output, no command line and no file under build/" secrets_nowhere
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
