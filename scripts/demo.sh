#!/usr/bin/env bash
# The main job, from a fresh Debian machine: installs what is missing, builds Velmora, makes a
# demo Wine prefix under the build folder with the program installed and its two libraries
# registered, seeds a harmless demo hijack (a Start Page and a Browser Helper Object for a demo
# DLL without a maker) and starts Velmora.exe.
#   scripts/demo.sh
# With a display, the program opens on it and you answer its cleanup offer yourself. Without one
# it runs on a private X server: the offer is answered with Cancel, a picture of each tab is saved
# into the build folder, the program is closed, and the log's tab-state lines are printed.
# Ends with status 0 when all of that worked; otherwise it says what did not and ends with 1.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# Anything the build and the demo need that is missing is installed first.
scripts/ensure-deps.sh

# The deliverable is the 32-bit build; where this host cannot run 32-bit programs, the same
# sources are built for 64-bit Windows and run under 64-bit Wine.
build=${VLMR_BUILD_DIR:-build/i686}
toolchain=cmake/toolchain-i686-mingw.cmake
arch=win32
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  build=${VLMR_BUILD_DIR:-build/x86_64}
  toolchain=cmake/toolchain-x86_64-mingw.cmake
  arch=win64
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/$toolchain" >/dev/null
cmake --build "$build" --target Velmora TesselDll VLMRCustom vlm_uidriver vlmcyclebho
build=$(cd "$build" && pwd)
dist=$(cmake -L -N "$build" 2>/dev/null | sed -n 's/^VLMR_DIST_DIR:PATH=//p')
dist=${VLMR_DIST_DIR:-${dist:-$build/dist}}

# Without a display, everything from the prefix on runs on a private X server: Wine's desktop
# is made with the prefix, and the program's windows need it.
if [ -z "${DISPLAY:-}" ] && [ -z "${VLMR_DEMO_HEADLESS:-}" ]; then
  echo "No display: running on a private X server..."
  VLMR_DEMO_HEADLESS=1 VLMR_BUILD_DIR=$build exec xvfb-run -a -s "-screen 0 1024x768x24" "$0"
fi

work=$build/demo
. tests/wine-prefix.sh
. tests/mainwin/prefix.sh
echo "Making the demo prefix $work/prefix..."
set +e  # the prefix's steps report their own failures
wine_prefix "$work" "$arch"
set -e
vlmr_install "$dist" "$build/bin"
vlmr_seed_hijack
echo "Seeded: Start Page http://hijack.example/start and the Browser Helper Object 'Demo Helper'."

# The job worked when every step below did; each one that did not says why, and the script
# then ends with status 1.
problems=()
problem() { problems+=("$1"); }
finish() {
  if [ ${#problems[@]} -eq 0 ]; then exit 0; fi
  echo "The demo did not work:" >&2
  printf '  %s\n' "${problems[@]}" >&2
  exit 1
}
log=$drive/Velmora/VLMR.log
for f in Velmora.exe Tessel.dll VLMRCustom.dll; do
  [ -f "$drive/Velmora/$f" ] || problem "$f is not in $dist: the build did not make it."
done
# Without the program there is nothing to start.
[ ${#problems[@]} -eq 0 ] || finish

if [ -z "${VLMR_DEMO_HEADLESS:-}" ]; then
  echo "Starting Velmora on your display; it offers to clean up the demo hijack."
  status=0
  "$loader" 'C:\Velmora\Velmora.exe' </dev/null || status=$?
  echo "Velmora ended. Its log: $log"
  "$server" -k 2>/dev/null || true
  [ -f "$log" ] || problem "Velmora did not start: it wrote no log ($log)."
  [ "$status" -eq 0 ] || problem "Velmora ended with status $status."
  finish
fi

# No display of the user's: the helper program answers Cancel and takes the pictures.
shots=$build/screenshots
rm -rf "$shots"
mkdir -p "$shots"
"$loader" 'C:\Velmora\Velmora.exe' </dev/null >"$work/velmora.out" 2>&1 &
program=$!
timeout 300 "$loader" 'C:\vlmrdemo\vlm_uidriver.exe' 'C:\vlmrdemo\report.txt' 240 box:cancel main \
  tab:1 'shot:C:\vlmrdemo\tab1.bmp' tab:2 'shot:C:\vlmrdemo\tab2.bmp' \
  tab:3 'shot:C:\vlmrdemo\tab3.bmp' tab:4 'shot:C:\vlmrdemo\tab4.bmp' menu:4201 gone </dev/null >/dev/null 2>&1 || true
for _ in $(seq 1 60); do kill -0 $program 2>/dev/null || break; sleep 0.5; done
if kill -0 $program 2>/dev/null; then
  kill $program 2>/dev/null || true
  problem "Velmora was still running after File > Exit (its output: $work/velmora.out)."
else
  status=0
  wait $program || status=$?
  [ "$status" -eq 0 ] || problem "Velmora ended with status $status (its output: $work/velmora.out)."
fi
"$server" -k 2>/dev/null || true

names=(help bho settings support)
for i in 1 2 3 4; do
  png=$shots/tab$i-${names[$((i - 1))]}.png
  if [ ! -f "$drive/vlmrdemo/tab$i.bmp" ]; then
    problem "No picture of tab $i was taken."
  elif ! python3 scripts/bmp2png.py "$drive/vlmrdemo/tab$i.bmp" "$png"; then
    problem "The picture of tab $i could not be converted to $png."
  fi
done
report=$drive/vlmrdemo/report.txt
echo "What the helper saw:"
if [ -f "$report" ]; then
  sed 's/^/  /' "$report"
  steps_failed=$(grep -E '^timeout|failed' "$report" || true)
  [ -z "$steps_failed" ] || problem "The helper's steps did not all work: ${steps_failed//$'\n'/; }"
else
  echo "  (nothing: see $work/velmora.out)"
  problem "The helper wrote no report: see $work/velmora.out."
fi
echo "Screenshots:"
ls "$shots"/*.png 2>/dev/null | sed 's/^/  /' || echo "  (none)"
echo "The log's tab-state lines:"
state=$(vlmr_tab_state 2>/dev/null || true)
if [ -n "$state" ]; then sed 's/^/  /' <<<"$state"; else
  echo "  (none)"
  problem "Velmora's log ($log) has no tab-state lines: the main window did not load."
fi
finish
