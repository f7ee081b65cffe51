#!/usr/bin/env bash
# Installs everything a fresh Debian 12 machine needs to build Velmora and run its tests.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends \
  g++-mingw-w64-i686-win32 mingw-w64-i686-dev mingw-w64-tools binutils-mingw-w64-i686 \
  libz-mingw-w64-dev googletest cmake ninja-build make python3 unzip \
  wine wine32:i386 wine64 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 xvfb xauth \
  procps libwine-dev gcc libc6-dev >/dev/null
