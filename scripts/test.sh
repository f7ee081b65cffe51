#!/usr/bin/env bash
# Builds Velmora and runs every test under Wine; says which build's tests ran and why, then
# ends with ctest's summary.
#   scripts/test.sh            build and test
# The deliverable is the 32-bit build (build/i686, shipped files in build/i686/dist). Its tests
# run in a 32-bit Wine prefix where the host can run 32-bit programs; where it cannot (no
# 32-bit Wine, or the kernel's 32-bit support switched off), the same sources are built for
# 64-bit Windows (build/x86_64) and tested in a 64-bit Wine prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# On a fresh machine, whatever the build and the tests need is installed first.
scripts/ensure-deps.sh

# configure DIR ARCH: a folder first configured with another compiler (such as the posix-thread
# one that builds before used) is configured afresh: CMake keeps the compiler it found first.
configure() {
  local dir=$1 toolchain=$root/cmake/toolchain-$2-mingw.cmake fresh=
  local compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER *${TOOLCHAIN_PREFIX}\(.*\))$/\1/p' "$toolchain")
  if [ -f "$dir/CMakeCache.txt" ] && ! grep -qs -- "$compiler\"" "$dir"/CMakeFiles/*/CMakeCXXCompiler.cmake; then
    echo "note: $dir was configured with another compiler; configuring it afresh with *$compiler"
    fresh=--fresh
  fi
  cmake $fresh -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
}

configure build/i686 i686
cmake --build build/i686

testdir=build/i686
if [ ! -x /usr/lib/wine/wine ]; then
  why="32-bit Wine (/usr/lib/wine/wine) is not installed"
elif ! error=$(/usr/lib/wine/wine --version 2>&1); then
  why="32-bit Wine does not start here: ${error%%$'\n'*}"
else
  why=
fi
if [ -n "$why" ]; then
  configure build/x86_64 x86_64
  cmake --build build/x86_64
  testdir=build/x86_64
  ran="the x86_64 build (build/x86_64) in a win64 Wine prefix, because $why; the i686 build was built, not tested"
else
  ran="the i686 build (build/i686) in a win32 Wine prefix, because this host runs 32-bit Wine"
fi
echo "Tests: $ran."

# Windows and message boxes need a display: a private X server for the run.
run() { "$@"; }
if [ -z "${DISPLAY:-}" ]; then run() { xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; }; fi
status=0
run ctest --test-dir "$testdir" --output-on-failure -j4 --timeout 600 || status=$?
echo "Tests ran: $ran."
exit $status
