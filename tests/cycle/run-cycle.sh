#!/usr/bin/env bash
# The whole infected-machine cycle, run for real in a throw-away Wine prefix of its own:
# seed an infection, start Velmora and answer its message boxes, let it clean up and restart
# the prefix, start it again after another start of Windows (by its boot time), and check
# what it left behind.
#   run-cycle.sh DIST-DIR BIN-DIR WORK-DIR WINEARCH   (the deliverables; the test programs)
set -u
dist=$1 bin=$2 work=$3 arch=$4
here=$(cd "$(dirname "$0")" && pwd)

. "$here/../wine-prefix.sh"
wine_prefix "$work" "$arch"

mkdir -p "$drive/cyclefix/Velmora"
cp "$dist/Velmora.exe" "$drive/cyclefix/Velmora/"
# The program's two COM libraries beside it, registered as an installation registers them.
cp "$dist/Tessel.dll" "$dist/VLMRCustom.dll" "$drive/cyclefix/Velmora/"
w regsvr32 /s 'C:\cyclefix\Velmora\Tessel.dll' >"$work/register.log" 2>&1 || fail "Tessel.dll did not register"
w regsvr32 /s 'C:\cyclefix\Velmora\VLMRCustom.dll' >>"$work/register.log" 2>&1 || fail "VLMRCustom.dll did not register"
cp "$bin/vlmcyclebho.dll" "$bin/vlmcycleholder.exe" "$drive/cyclefix/"
cp "$bin/vlm_pressok.exe" "$bin/vlm_uidriver.exe" "$drive/cyclefix/"

clsid='{6D1E3A52-8C4B-4F7A-9E21-3B5C7D9A1F04}'
bhokey='HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects'
main='HKCU\Software\Microsoft\Internet Explorer\Main'
product='HKCU\Software\Ardentis Software\Velmora\Current Version'
{
  w reg add "$bhokey\\$clsid" /ve /d "Cycle Helper" /f
  w reg add "HKCR\\CLSID\\$clsid\\InProcServer32" /ve /d 'C:\cyclefix\vlmcyclebho.dll' /f
  w reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v CycleHolder \
    /d '"C:\cyclefix\vlmcycleholder.exe" C:\cyclefix\vlmcyclebho.dll' /f
  w reg add "$main" /v "Start Page" /d "http://hijack.example/start" /f
  # Only a restart of Windows runs this: it shows that the restart was really asked for.
  w reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v CycleRestarted \
    /d 'cmd.exe /c echo restarted> C:\cyclefix\restarted.txt' /f
} >"$work/seed.log" 2>&1

# The infection is running: a process holds the parasite DLL (it says so by its ready file).
"$loader" 'C:\cyclefix\vlmcycleholder.exe' 'C:\cyclefix\vlmcyclebho.dll' 'C:\cyclefix\holding' </dev/null >/dev/null 2>&1 &
for _ in $(seq 1 1200); do [ -f "$drive/cyclefix/holding" ] && break; sleep 0.1; done
[ -f "$drive/cyclefix/holding" ] || fail "the holder did not load the DLL"

# The answerer runs until its stop file, made once the program has ended: whatever box the
# program shows, expected or not, gets an answer and lands in the answers file. Its own limit
# only outlasts the program's.
answer() {  # starts the box answerer; $1 names the run
  "$loader" 'C:\cyclefix\vlm_pressok.exe' "C:\\cyclefix\\answers-$1.txt" "C:\\cyclefix\\stop-$1" 400 \
    </dev/null >/dev/null 2>&1 &
}

# First start: the cleanup is offered, confirmed, done, and Windows (the prefix) restarts.
answer first
timeout 300 "$loader" 'C:\cyclefix\Velmora\Velmora.exe' </dev/null >"$work/first.out" 2>&1
echo "first start ended with $?"
touch "$drive/cyclefix/stop-first"
for _ in $(seq 1 120); do [ -f "$drive/cyclefix/restarted.txt" ] && break; sleep 1; done
[ -f "$drive/cyclefix/restarted.txt" ] && ok "Windows was asked to restart (its RunOnce ran)" \
  || fail "no restart: the RunOnce entry did not run"
if w reg query "$product" /v "ZiRaraviz Cleanup Time" >/dev/null 2>&1; then
  ok "the boot time was stored before the restart"
else
  fail "no boot time stored by the first start"
fi

# Second start, after another start of Windows. The first start's processes end with its
# server, as they would with Windows. This start of Windows came an hour after the one the
# first start saw: the boot time it stored (the eight bytes of a date, in base 64) is moved an
# hour back, for 32-bit and 64-bit builds alike. The clocks themselves stay as they are: a
# wineserver whose clocks run apart from its programs' takes the time limits of their waits as
# long past, Wine's desktop then never starts, and no program of it can make a window.
"$server" -k 2>/dev/null
"$server" -w 2>/dev/null
"$server" -p </dev/null >/dev/null 2>&1
second_status=1
stored=$(w reg query "$product" /v "ZiRaraviz Cleanup Time" 2>/dev/null | tr -d '\r' |
  awk '$1 == "ZiRaraviz" { print $NF }')
earlier=$(python3 -c 'import base64, struct, sys
date = struct.unpack("<d", base64.urlsafe_b64decode(sys.argv[1]))[0]
print(base64.urlsafe_b64encode(struct.pack("<d", date - 1 / 24)).decode())' "$stored" 2>"$work/earlier.log")
if [ -n "$earlier" ] && w reg add "$product" /v "ZiRaraviz Cleanup Time" /d "$earlier" /f >>"$work/earlier.log" 2>&1; then
  answer second
  # Nothing is offered: the main window opens, and File > Exit ends the program.
  "$loader" 'C:\cyclefix\vlm_uidriver.exe' 'C:\cyclefix\closer-second.txt' 250 main menu:4201 gone \
    </dev/null >/dev/null 2>&1 &
  closer=$!
  timeout 300 "$loader" 'C:\cyclefix\Velmora\Velmora.exe' </dev/null >"$work/second.out" 2>&1
  second_status=$?
  kill "$closer" 2>/dev/null
else
  fail "the stored boot time '$stored' could not be moved back: $(cat "$work/earlier.log")"
fi
echo "second start ended with $second_status"
touch "$drive/cyclefix/stop-second"
sleep 1

log=$drive/cyclefix/Velmora/VLMR.log
answers1=$(cat "$drive/cyclefix/answers-first.txt" 2>/dev/null)
answers2=$(cat "$drive/cyclefix/answers-second.txt" 2>/dev/null)

# The boxes: the offer, then the completion with its restart question, and no other (one the
# program should not have shown was answered all the same, and fails here); none at the second
# start.
[ "$(sed -n 1p <<<"$answers1")" = "Velmora detected about:blank parasites which can be deleted automatically. Press OK to clean up." ] \
  && ok "cleanup offered" || fail "no cleanup offer first: $answers1"
[[ "$(sed -n 2p <<<"$answers1")" == "Operation complete successfully. Close all opened documents then press OK button to restart Windows."* ]] \
  && ok "cleanup completed" || fail "no completion box second: $answers1"
[ -z "$(sed -n '3,$p' <<<"$answers1")" ] && ok "first start showed no other box" || fail "first start showed more: $answers1"
[ -z "$answers2" ] && ok "second start asked nothing" || fail "second start showed: $answers2"
closer2=$(tr -d '\r' <"$drive/cyclefix/closer-second.txt" 2>/dev/null)
[ "$second_status" = 0 ] && grep -q "^main: shown" <<<"$closer2" && grep -qx "gone" <<<"$closer2" \
  && ok "second start showed its main window and ended by File > Exit" \
  || fail "second start ended with $second_status, its window: $closer2"

# The log lines, in order.
expect_in_order() {
  local from=1 line n
  for line in "$@"; do
    n=$(tail -n +"$from" "$log" | grep -n -F -i -m1 -- "$line" | cut -d: -f1)
    if [ -z "$n" ]; then fail "log line missing (in order): $line"; return; fi
    from=$((from + n))
  done
  ok "log lines in order"
}
expect_in_order \
  "********** start app" "Startup: " "CZiRaraviz.Check	True" "CleanUp started" \
  "Deleting BHO($clsid)" "File renamed sucessfullly: 'c:\\cyclefix\\vlmcyclebho.dll'" \
  "Restoring all configuration settings" \
  "********** start app" "CZiRaraviz.Check	False"

q() { w reg query "$@" 2>/dev/null | tr -d '\r'; }
exists() { w reg query "$@" >/dev/null 2>&1; }
exists "$bhokey\\$clsid" && fail "the registration is still there" || ok "registration gone"
exists "$product" /v "ZiRaraviz Cleanup Time" && fail "stored value still there" || ok "stored value deleted"
exists "$bhokey" && ok "the list of registrations stays" || fail "the whole Browser Helper Objects key went"
q "$main" /v "Start Page" | grep -q "about:blank" && ok "Start Page is about:blank" || fail "Start Page: $(q "$main" /v "Start Page")"
q "$product\\Removed Files" | grep -qi 'vlmcyclebho.dll' && ok "disabled file recorded" || fail "no record: $(q "$product\\Removed Files")"
[ -f "$drive/cyclefix/parasite_vlmcyclebho.dll.parasite" ] && [ ! -f "$drive/cyclefix/vlmcyclebho.dll" ] \
  && ok "file at its disabled name" || fail "file not disabled: $(ls "$drive/cyclefix")"
backup=$(ls -tr "$drive/cyclefix/Velmora/Backup/"*.reg 2>/dev/null | head -1)  # the first start's
if [ -n "$backup" ] && iconv -f UTF-16 -t UTF-8 "$backup" | grep -q "http://hijack.example/start" &&
   iconv -f UTF-16 -t UTF-8 "$backup" | grep -qF "\\Browser Helper Objects\\$clsid]"; then
  ok "backup holds the infected values"
else
  fail "no backup with the infected values"
fi

if [ "$failures" -ne 0 ]; then
  echo "--- log"; cat "$log" 2>/dev/null; echo "--- first"; cat "$work/first.out"; echo "--- second"; cat "$work/second.out"
  echo "0 passed, $failures failed"
  exit 1
fi
"$server" -k 2>/dev/null
rm -rf "$work"
exit 0
