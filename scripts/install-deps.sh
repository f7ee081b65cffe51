#!/usr/bin/env bash
# Installs everything a fresh Debian 12 machine needs to build Velmora and run its tests: the
# packages of scripts/packages.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
mapfile -t packages < <(grep -v '^[[:space:]]*\(#\|$\)' scripts/packages.txt)
# A mirror caught mid-sync fails one index (seen: the security suite's i386 list); the others
# still serve the install, so a failed update is reported and the install goes on.
apt-get update -qq || echo "warning: apt-get update reported a failure; installing from the indexes it has"
if ! apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null; then
  # Without one architecture's security list, a package built for both (libssl3, zlib1g) has
  # different newest versions for amd64 and i386 and cannot be installed twice; the release's
  # own versions exist for both.
  echo "note: installing the release's own versions (apt-get -t bookworm), which exist for both architectures"
  apt-get install -y -qq --no-install-recommends -t bookworm "${packages[@]}" >/dev/null
fi
