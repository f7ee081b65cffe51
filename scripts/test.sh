#!/usr/bin/env bash
# Builds Velmora and runs every test under Wine; ends with ctest's summary.
#   scripts/test.sh            build and test
# The deliverable is the 32-bit build (build/i686). Its tests run in a 32-bit Wine prefix
# where the host can run 32-bit programs; where the kernel has 32-bit support switched off,
# the same sources are built for 64-bit Windows (build/x86_64) and tested under 64-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

cmake -S . -B build/i686 -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
cmake --build build/i686

testdir=build/i686
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "note: this host cannot run 32-bit Wine; the tests run the 64-bit build under 64-bit Wine"
  cmake -S . -B build/x86_64 -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-mingw.cmake" >/dev/null
  cmake --build build/x86_64
  testdir=build/x86_64
fi

# Windows and message boxes need a display: a private X server for the run.
run() { "$@"; }
if [ -z "${DISPLAY:-}" ]; then run() { xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; }; fi
run ctest --test-dir "$testdir" --output-on-failure -j4 --timeout 600
