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
  '[commercial]' 'extendedKeyUsage = msCodeCom' '[tsa]' 'extendedKeyUsage = critical, timeStamping' \
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
  openssl pkcs12 -export -in code.pem -inkey code.key -passout file:password -out unchained.p12 || exit 1
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

# pack NAME VARIABLE=VALUE...: packs the clone so, keeping the zip, its sums
# and its files in NAME.
pack() {
  name=$1
  shift
  env "$@" SEALMARK_SIGN_TIMESTAMP="$timestamp" "$clone/scripts/package.sh" && mkdir "$work/$name" &&
    cp "$clone"/build/*.zip "$clone/build/SHA256SUMS" "$work/$name" && unzip -q "$work/$name"/*.zip -d "$work/$name"
}
check "packed signed from a PKCS#12 file" pack p12 SEALMARK_SIGN_PKCS12="$pki/code.p12" \
  SEALMARK_SIGN_PASSWORD_FILE="$pki/password"
check "packed signed from a token" pack token SEALMARK_SIGN_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so \
  SEALMARK_SIGN_PKCS11_KEY="pkcs11:token=sealmark;object=code;type=private" \
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
# changed: a word of the read-me, a byte of x64/Sealmark.exe, zip's extra
# fields, and below the sum of Sealmark.exe alone; unpublished: a commit on no branch or tag; prefixed:
# the token's release in front; linked: README.txt a link out of the folder.
while read -r name zip_name edit; do
  doctored "$name" "$zip_name" "$edit" || exit 1
done <<EOF
changed $zip sed -i 's/signed by/signed, so they say, by/' README.txt && printf X | dd of=x64/Sealmark.exe bs=1 seek=4096 conv=notrunc 2>/dev/null && zip -q -D $zip $files
relabelled Sealmark-2.0.0-windows.zip sed -i 's/^Sealmark [^ ]*, built/Sealmark 2.0.0, built/' README.txt
unpublished $zip sed -i s/$commit/$unpublished/ README.txt
prefixed $zip cat $work/token/*.zip $work/p12/$zip >$zip
linked $zip rm README.txt && ln -s /etc/hostname README.txt && zip -q -X -D -y $zip $files
EOF
sed -i "3s/^[0-9a-f]*/$(printf '%064d' 0)/" "$work/changed/SHA256SUMS"
# A checkout one commit on, whose clone git's checkout leaves there.
git clone -q "$clone" "$work/later" && git -C "$work/later" commit -q --allow-empty -m Later &&
  mkdir "$work/stuck" && printf '#!/bin/sh\ncase " $* " in *" checkout "*) exit 0 ;; esac\nexec "%s" "$@"\n' \
    "$(command -v git)" >"$work/stuck/git" && chmod +x "$work/stuck/git" || exit 1

# From here on the scripts' temporary folders go where they can be counted.
export TMPDIR="$work/temporary"
mkdir "$TMPDIR" || exit 1

# checked NAME PATTERN: check-signed-release.sh, run once for NAME, exits
# with 1 and says PATTERN.
checked() {
  if [ ! -f "$work/$1.checked" ]; then
    "$clone/scripts/check-signed-release.sh" "$work/$1"/*.zip "$work/$1/SHA256SUMS" >"$work/$1.checked" 2>&1
    echo $? >"$work/$1.status"
  fi
  cat "$work/$1.checked"
  [ "$(cat "$work/$1.status")" -eq 1 ] && grep -q "$2" "$work/$1.checked"
}
check "check-signed-release.sh: the release packed from the PKCS#12 file is its commit's" \
  says "^published $commit, on " "$clone/scripts/check-signed-release.sh" "$work/p12/$zip" "$work/p12/SHA256SUMS"
while read -r name pattern what; do
  check "check-signed-release.sh refuses $what" checked "$name" "$pattern"
done <<EOF
changed ^DIFFERENT.README.txt.from a read-me with a word changed
changed ^DIFFERENT.x64/Sealmark.exe,.its.signature.removed a program with one byte changed
changed ^DIFFERENT.SHA256SUMS SHA256SUMS wrong in one program's line alone
changed ^DIFFERENT.$zip.from a zip with extra fields
relabelled ^DIFFERENT.version:.*says.2.0.0 a relabelled version
unpublished ^DIFFERENT.commit.$unpublished.is.on.no.branch a commit on no branch or tag
prefixed ^DIFFERENT.*cannot.*as.it.is a zip with another in front
linked ^DIFFERENT.the.zip.holds.links:.README.txt an entry that is a link
EOF
check "check-signed-release.sh refuses to build in a clone at another commit" fails_saying \
  "^DIFFERENT the clone to build $commit in is at $(git -C "$work/later" rev-parse HEAD): nothing built" \
  env PATH="$work/stuck:$PATH" "$work/later/scripts/check-signed-release.sh" "$work/p12/$zip" "$work/p12/SHA256SUMS"

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

# refused FILE PASSWORD_FILE MESSAGE: packing stops with MESSAGE, leaving no
# zip (the token's was there before) and no program to be packed in build/.
refused() {
  fails_saying "$3" env SEALMARK_SIGN_PKCS12="$pki/$1" SEALMARK_SIGN_PASSWORD_FILE="$pki/$2" \
    "$clone/scripts/package.sh" &&
    [ ! -e "$clone/build/package/stage" ] && [ -z "$(find "$clone/build" -name '*.zip' -o -name '*.signed')" ]
}
while read -r file password_file message; do
  check "refused: $file with $password_file ($message)" refused "$file" "$password_file" "$message"
done <<EOF
expired.p12 password expired on
future.p12 password is not valid before
web.p12 password is not for code signing
commercial.p12 password is not for code signing
unchained.p12 password Sealmark Test Authority, is not among the certificates
code.p12 wrong does not open
EOF
cp build/win32/Sealmark.exe "$work/untimed.exe" || exit 1
check "signing without a timestamp warns that the signature ends with the certificate" says \
  "warning: no timestamp.*expires, on $(openssl x509 -in "$pki/code.pem" -noout -enddate | cut -d= -f2)" \
  env SEALMARK_SIGN_PKCS12="$pki/code.p12" SEALMARK_SIGN_PASSWORD_FILE="$pki/password" \
  "$clone/scripts/sign-programs" Sealmark https://example.invalid "$work/untimed.exe"
check "the checks and the signing leave no temporary folder" test -z "$(ls -A "$TMPDIR")"
# The stand-ins saw the password's and the PIN's files handed over.
secrets_nowhere() {
  grep -q '^osslsigncode sign ' "$work/arguments" && grep -q '^openssl pkey .*-engine' "$work/arguments" &&
    { grep -rlF -e "$password" -e "$pin" "$work/all.log" "$work/arguments" "$clone/build"; [ $? -eq 1 ]; }
}
check "the password and the PIN show in no output, no command line and no file under build/" secrets_nowhere
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
