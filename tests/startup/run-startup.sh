#!/usr/bin/env bash
# The real program's start-up, run for real in a throw-away Wine prefix of its own, installed as
# a user installs it (the program and its two COM libraries in one folder, both registered):
#   1. both registered: the log begins with the three start lines and the custom component's
#      version line, the splash window is up for at least its 3 seconds, a settings backup is made;
#   2. VLMRCustom.dll unregistered, 3. Tessel.dll unregistered: the critical message naming the
#      file (read from the box by the helper that presses OK), the message logged at Level 4
#      after the three start lines, no splash, no backup.
#   run-startup.sh DIST-DIR BIN-DIR WORK-DIR WINEARCH   (the deliverables; the test programs)
set -u
dist=$1 bin=$2 work=$3 arch=$4

. "$(dirname "$0")/../wine-prefix.sh"
wine_prefix "$work" "$arch"

app=$drive/vlmstart/Velmora
mkdir -p "$app"
cp "$dist/Velmora.exe" "$dist/Tessel.dll" "$dist/VLMRCustom.dll" "$app/"
cp "$bin/vlm_pressok.exe" "$bin/vlm_splashwatch.exe" "$bin/vlm_uidriver.exe" "$drive/vlmstart/"
reg() { w regsvr32 /s "$@" >>"$work/register.log" 2>&1; }
reg 'C:\vlmstart\Velmora\Tessel.dll' || fail "Tessel.dll did not register"
reg 'C:\vlmstart\Velmora\VLMRCustom.dll' || fail "VLMRCustom.dll did not register"

# One start of the program with the box answerer and the splash watcher running; $1 names it.
start() {
  local run=$1
  rm -f "$app/VLMR.log" "$app/short.log"
  rm -rf "$app/Backup"
  "$loader" 'C:\vlmstart\vlm_pressok.exe' "C:\\vlmstart\\answers-$run.txt" "C:\\vlmstart\\stop-$run" 120 \
    </dev/null >/dev/null 2>&1 &
  local pressok=$!
  "$loader" 'C:\vlmstart\vlm_splashwatch.exe' "C:\\vlmstart\\splash-$run.txt" "C:\\vlmstart\\stop-$run" 120 \
    </dev/null >/dev/null 2>&1 &
  local watch=$!
  # The program runs until its main window is closed: File > Exit once it is shown.
  "$loader" 'C:\vlmstart\vlm_uidriver.exe' "C:\\vlmstart\\closer-$run.txt" 110 main menu:4201 gone \
    </dev/null >/dev/null 2>&1 &
  local closer=$!
  # The splash can be timed only by a watcher that looked before the program started.
  local waited
  for waited in $(seq 1 1200); do
    grep -qs watching "$drive/vlmstart/splash-$run.txt" && break
    kill -0 "$watch" 2>/dev/null || break
    sleep 0.1
  done
  timeout 120 "$loader" 'C:\vlmstart\Velmora\Velmora.exe' </dev/null >"$work/$run.out" 2>&1
  echo "$run: the program ended with $?"
  touch "$drive/vlmstart/stop-$run"
  kill "$closer" 2>/dev/null
  wait "$pressok" "$watch" "$closer" 2>/dev/null
}

# The first lines of the log, without their time stamps: "level|number|source|text".
head_of_log() { head -n "$1" "$app/VLMR.log" | tr -d '\r' | cut -f2- | tr '\t' '|'; }
starts="5|0|FMain.Form_Initialize|********** start app
5|0|FMain.Form_Initialize|Velmora ver."
check_start_lines() {  # the three start lines, in order
  local lines; lines=$(head_of_log 3)
  [ "$(sed -n 1p <<<"$lines")" = "$(sed -n 1p <<<"$starts")" ] &&
    sed -n 2p <<<"$lines" | grep -q '^5|0|FMain.Form_Initialize|Velmora ver\.[0-9]*\.[0-9]*\.[0-9]*$' &&
    sed -n 3p <<<"$lines" | grep -q '^5|0|FMain.Form_Initialize|Startup: ' &&
    ok "$1: the three start lines" || fail "$1: start lines: $lines"
}

# 1. Both libraries registered.
start registered
check_start_lines registered
[ "$(head_of_log 4 | sed -n 4p)" = "5|0||VLMRCustom ver.4.52.23" ] && ok "the custom component's line follows" \
  || fail "fourth line: $(head_of_log 4 | sed -n 4p)"
cut -f2 "$app/VLMR.log" | grep -qx 0 && fail "an error was logged at Level 0"
splash=$(cat "$drive/vlmstart/splash-registered.txt" 2>/dev/null)
# Up its 3 s: the watcher's span holds all the time it was up, less at most a step of the tick.
if [[ "$splash" =~ ^shown\ ([0-9]+) ]] && [ "${BASH_REMATCH[1]}" -ge 2980 ]; then
  ok "the splash was up its 3 s (seen within ${BASH_REMATCH[1]} ms)"
else
  fail "splash: $splash"
fi
ls "$app/Backup/"*.reg >/dev/null 2>&1 && ok "a settings backup was made" || fail "no settings backup"
[ -s "$drive/vlmstart/answers-registered.txt" ] && fail "a box was shown: $(cat "$drive/vlmstart/answers-registered.txt")"

# 2. and 3. One library unregistered: its message, logged at Level 4, and nothing else.
unregistered() {  # $1 run name, $2 the file named in the message
  local run=$1 file=$2
  local message="Component '$file' or one of its dependencies not correctly registered: a file is missing or invalid. Try to reinstall Velmora."
  start "$run"
  [ "$(cat "$drive/vlmstart/answers-$run.txt" 2>/dev/null | tr -d '\r')" = "$message" ] \
    && ok "$run: the critical message names $file" || fail "$run: box: $(cat "$drive/vlmstart/answers-$run.txt" 2>/dev/null)"
  check_start_lines "$run"
  [ "$(head_of_log 5 | sed -n '4,$p')" = "4|0|FMain.Form_Initialize|$message" ] \
    && ok "$run: the message is logged at Level 4 next" || fail "$run: log: $(head_of_log 6)"
  [ "$(cat "$drive/vlmstart/splash-$run.txt" 2>/dev/null)" = "none" ] && ok "$run: no splash" \
    || fail "$run: splash: $(cat "$drive/vlmstart/splash-$run.txt" 2>/dev/null)"
  [ ! -e "$app/Backup" ] && ok "$run: no backup" || fail "$run: a backup was made"
  ls "$app/"*.tlb >/dev/null 2>&1 && fail "$run: a type library file beside the program"
}
reg /u 'C:\vlmstart\Velmora\VLMRCustom.dll' || fail "VLMRCustom.dll did not unregister"
unregistered no-custom VLMRCUSTOM.DLL
reg 'C:\vlmstart\Velmora\VLMRCustom.dll' && reg /u 'C:\vlmstart\Velmora\Tessel.dll' || fail "re-registration failed"
unregistered no-tessel TESSEL.DLL

if [ "$failures" -ne 0 ]; then
  echo "--- log"; cat "$app/VLMR.log" 2>/dev/null
  for f in "$work"/*.out; do echo "--- $f"; cat "$f"; done
  echo "$failures failed"
  exit 1
fi
"$server" -k 2>/dev/null
rm -rf "$work"
exit 0
