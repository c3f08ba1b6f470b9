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

# fails_saying PATTERN COMMAND...: the command fails, saying PATTERN.
fails_saying() {
  pattern=$1
  shift
  "$@" >"$work/failing" 2>&1
  status=$?
  cat "$work/failing"
  [ $status -ne 0 ] && grep -q "$pattern" "$work/failing"
}

mkdir -p "$pki/tokens" && cd "$pki" || exit 1
password=$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')
pin=$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')
printf '%s\n' "$password" >password && printf '%s\n' "$pin" >pin && echo wrong >wrong && echo 01 >serial
printf '%s\n' '[code]' 'extendedKeyUsage = codeSigning' '[web]' 'extendedKeyUsage = serverAuth' '[tsa]' \
  'extendedKeyUsage = critical, timeStamping' '[responder]' 'serial = serial' 'signer_cert = tsa.pem' \
  'signer_key = tsa.key' 'certs = ca.pem' 'signer_digest = sha256' 'default_policy = 1.2.3.4' \
  'digests = sha256' >openssl.cnf
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -subj "/CN=Sealmark Test Authority" -days 1 \
  -out ca.pem 2>/dev/null
# issue NAME SECTION DAYS: a certificate of the authority and its PKCS#12 file.
issue() {
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -subj "/CN=Sealmark Test $1" 2>/dev/null |
    openssl x509 -req -CA ca.pem -CAkey ca.key -days "$3" -extfile openssl.cnf -extensions "$2" \
      -out "$1.pem" 2>/dev/null &&
    openssl pkcs12 -export -in "$1.pem" -inkey "$1.key" -certfile ca.pem -passout file:password -out "$1.p12"
}
issue code code 1 && issue expired code -1 && issue web web 1 && issue tsa tsa 1 || exit 1
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

# The token's release with a word of its read-me changed, and sums to match.
cp -r "$work/token" "$work/changed" && cd "$work/changed" && rm ./*.zip &&
  sed -i 's/signed by/signed, so they say, by/' README.txt &&
  zip -q -X -D changed.zip README.txt Sealmark.exe x64/Sealmark.exe &&
  sha256sum changed.zip README.txt Sealmark.exe x64/Sealmark.exe >SHA256SUMS && cd "$root" || exit 1
check "check-signed-release.sh: the release packed from the PKCS#12 file is its commit's" \
  "$clone/scripts/check-signed-release.sh" "$work"/p12/*.zip "$work/p12/SHA256SUMS"
check "check-signed-release.sh names the changed read-me" fails_saying '^DIFFERENT README.txt' \
  "$clone/scripts/check-signed-release.sh" "$work/changed/changed.zip" "$work/changed/SHA256SUMS"

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
web.p12 password is not for code signing
code.p12 wrong does not open
EOF
secrets_nowhere() { grep -rlF -e "$password" -e "$pin" "$work/all.log" "$clone/build"; [ $? -eq 1 ]; }
check "the password and the PIN show in no output and no file under build/" secrets_nowhere
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
