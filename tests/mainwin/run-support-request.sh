#!/usr/bin/env bash
# The real program in a throw-away Wine prefix sends a support request: the support tab is
# filled, Request Support pressed; the loopback support server gets exactly one request with
# the items in order, and the program says it went out and logs it.
#   run-support-request.sh DIST-DIR BIN-DIR WORK-DIR WINEARCH PYTHON3 SERVER-SCRIPT
set -u
# The description is typed in Cyrillic and Chinese: the shell and Wine pass it on as UTF-8.
export LC_ALL=C.UTF-8
dist=$1 bin=$2 work=$3 arch=$4 python=$5 script=$6
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../wine-prefix.sh"
. "$here/prefix.sh"
wine_prefix "$work" "$arch"
vlmr_install "$dist" "$bin"

mkdir -p "$work/server"
"$python" "$script" serve "$work/server" 200 >"$work/server.out" 2>&1 &
for _ in $(seq 1 600); do [ -s "$work/server/ready" ] && break; sleep 0.1; done
port=$(cat "$work/server/ready" 2>/dev/null)
[ -n "$port" ] || { echo "the support server did not start"; cat "$work/server.out"; exit 1; }
# The product's host setting points the request at the loopback server.
w reg add 'HKCU\Software\Ardentis Software\Velmora\Current Version' /v "Support Server" /d "127.0.0.1:$port" /f >/dev/null 2>&1

report=$drive/vlmrdemo/report.txt
"$loader" 'C:\Velmora\Velmora.exe' </dev/null >"$work/velmora.out" 2>&1 &
program=$!
# The description has Cyrillic and Chinese letters; the driver types it as UTF-16.
description=$'It still opens about:blank \u0421\u0442\u0430\u0440\u0442 \u4E3B\u9875'
timeout 200 "$loader" 'C:\vlmrdemo\vlm_uidriver.exe' 'C:\vlmrdemo\report.txt' 150 main tab:4 \
  "set:3404:$description" 'set:3401:Ivan Petrov' 'set:3402:ivan@example.com' click:3403 box:ok \
  menu:4201 gone </dev/null >/dev/null 2>&1
for _ in $(seq 1 240); do kill -0 $program 2>/dev/null || break; sleep 0.5; done
kill -0 $program 2>/dev/null && { fail "the program is still running after File > Exit"; kill $program; }
touch "$work/server/stop"

text=$(cat "$report" 2>/dev/null)
grep -qxF "box: Your support request has been sent successfully. Please allow up to 48 hours for a response." \
  <<<"$text" && ok "the program said the request went out" || fail "no sent message in: $text"
grep -aqF "ucSupport.cmdRequestSupport_Click"$'\t'"Requesting support" "$drive/Velmora/VLMR.log" \
  && ok "the request was logged" || fail "no 'Requesting support' line"

server_log=$(cat "$work/server/log" 2>/dev/null)
requests=$(grep -c '^request$' <<<"$server_log")
[ "$requests" = 1 ] && ok "exactly one request" || fail "$requests requests reached the server"
names=$(sed -n 's/^item \([^ ]*\).*/\1/p' <<<"$server_log" | paste -sd,)
[ "$names" = "cat,id,name,email,answer,WindowsVersion,IEVersion,SuspiciousFiles,ZoneMap,Hosts,Log,Processes,ProcessFileInfo" ] \
  && ok "the eleven items in order" || fail "items: $names"
grep -qxF "item name Ivan Petrov" <<<"$server_log" && grep -qxF "item email ivan@example.com" <<<"$server_log" \
  && ok "name and e-mail as typed" || fail "name or e-mail"
grep -qxF "item answer $description" <<<"$server_log" && ok "the description as typed" || fail "description"
grep -qxF "path /php/ic.php" <<<"$server_log" && ok "the request's path" || fail "path"

if [ "$failures" -ne 0 ]; then
  echo "--- report"; cat "$report"; echo "--- server"; cat "$work/server/log"; echo "--- log"
  cat "$drive/Velmora/VLMR.log"; echo "--- program"; cat "$work/velmora.out"
  echo "$failures failed"
  exit 1
fi
"$server" -k 2>/dev/null
rm -rf "$work"
echo "all passed"
