#!/usr/bin/env bash
# Runs scripts/install-deps.sh when anything the build, the tests or the demo need is missing,
# so that a fresh Debian machine needs nothing but the README's commands.
set -euo pipefail
cd "$(dirname "$0")/.."
missing=
for tool in cmake ninja i686-w64-mingw32-g++-win32 i686-w64-mingw32-widl x86_64-w64-mingw32-g++-win32 python3 \
            xvfb-run wine; do
  command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
[ -d /usr/src/googletest ] || missing="$missing googletest"
[ -d /usr/include/wine/wine/windows ] || missing="$missing libwine-dev"
[ -z "$missing" ] && exit 0
echo "Missing:$missing; installing what the build needs (scripts/install-deps.sh)..."
if [ "$(id -u)" = 0 ]; then exec scripts/install-deps.sh; else exec sudo scripts/install-deps.sh; fi
