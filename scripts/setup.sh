#!/bin/sh
# Installs every Debian package that building, testing, benchmarking, the
# demo and signing a release need: the programs are built with mingw-w64's
# win32 thread model, their tests with its POSIX one; osslsigncode signs, with
# OpenSSL's PKCS#11 engine for a key on a token, and the signed release's
# test makes a softhsm2 token and serves timestamps with python3. Then the
# npm package @action-validator/cli, which checks the GitHub workflow, with
# Debian's Node.js and npm where the machine has no npm; where it cannot be
# had, that check is skipped. Safe to run again: it asks apt and npm only
# for what is missing.
set -eu

packages="cmake make g++ gcc zlib1g-dev googletest libbenchmark-dev
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64 wine32:i386 e2fsprogs time clang-format zip unzip git
  openssl osslsigncode libengine-pkcs11-openssl softhsm2 python3"
command -v npm >/dev/null 2>&1 || packages="$packages nodejs npm"

if [ "$(id -u)" -eq 0 ]; then
  as_root=""
else
  as_root="sudo"
fi

missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $as_root dpkg --add-architecture i386
  fi
  $as_root apt-get update -q
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y -q --no-install-recommends $missing
fi

if ! command -v action-validator >/dev/null 2>&1; then
  echo "Installing: @action-validator/cli (npm)"
  $as_root npm install --global --no-fund --no-audit --fetch-retries=1 \
    @action-validator/cli@0.6.0 ||
    echo "setup.sh: @action-validator/cli could not be installed; the workflow check will be skipped" >&2
fi
