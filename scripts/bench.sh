#!/usr/bin/env bash
# Runs the benchmark program under Wine and prints every figure, with its target where it has one.
#   scripts/bench.sh [BUILD-DIR]
# Without a folder: the build that scripts/test.sh built and tested here (build/i686 in a win32
# prefix where 32-bit Wine runs, else build/x86_64 in a win64 prefix).
set -euo pipefail
cd "$(dirname "$0")/.."
# The start-up and the main window's load make windows: without a display, a private X server.
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"; fi
dir=${1:-build/i686}
[ -n "${1:-}" ] || /usr/lib/wine/wine --version >/dev/null 2>&1 || dir=build/x86_64
[ -f "$dir/bin/velmora_bench.exe" ] || { echo "no $dir/bin/velmora_bench.exe: run scripts/test.sh first"; exit 1; }
arch=win32
grep -q 'WINEARCH=win64' "$dir/CTestTestfile.cmake" 2>/dev/null && arch=win64
echo "Benchmarks of $dir in a $arch Wine prefix:"
WINEPREFIX=$PWD/$dir/wineprefix WINEARCH=$arch cmake/wine-run.sh --setup
# The start-up's figure needs the program's two COM libraries registered, as an installation has them.
for lib in Tessel VLMRCustom; do
  WINEPREFIX=$PWD/$dir/wineprefix WINEARCH=$arch cmake/wine-run.sh regsvr32 /s "$PWD/$dir/dist/$lib.dll" || true
done
WINEPREFIX=$PWD/$dir/wineprefix WINEARCH=$arch cmake/wine-run.sh "$dir/bin/velmora_bench.exe"
