#!/usr/bin/env bash
# Runs the benchmark program of the test build under Wine and prints its figures.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build/i686
/usr/lib/wine/wine --version >/dev/null 2>&1 || dir=build/x86_64
arch=win32; [ "$dir" = build/x86_64 ] && arch=win64
WINEPREFIX=$PWD/$dir/wineprefix WINEARCH=$arch cmake/wine-run.sh --setup
WINEPREFIX=$PWD/$dir/wineprefix WINEARCH=$arch cmake/wine-run.sh "$dir/bin/velmora_bench.exe"
