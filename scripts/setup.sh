#!/bin/sh
# Installs every Debian package that building, testing, benchmarking and the
# demo need: the programs are built with mingw-w64's win32 thread model, their
# tests with its POSIX one. Safe to run again: it asks apt only for what is
# missing.
set -eu

packages="cmake make g++ gcc zlib1g-dev googletest libbenchmark-dev
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64 wine32:i386 e2fsprogs time clang-format zip unzip git"

missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=""
else
  as_root="sudo"
fi
echo "Installing:$missing"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $as_root dpkg --add-architecture i386
fi
$as_root apt-get update -q
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y -q --no-install-recommends $missing
