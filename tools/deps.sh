#!/bin/sh
# Installs everything the build, tests, benchmarks and fuzz targets need on a
# fresh Debian 12 machine. Idempotent: packages already present are skipped.
set -e
PKGS="cmake make g++ gcc git pkg-config perl \
  mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
  wine wine64 fonts-wine xvfb xauth x11-utils imagemagick sox \
  libgtest-dev libgmock-dev googletest libbenchmark-dev libfftw3-dev \
  clang libclang-rt-14-dev llvm nlohmann-json3-dev libcli11-dev"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "deps.sh: need root to install:$missing" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends $missing
fi
