#!/usr/bin/env bash
# The real program in a throw-away Wine prefix: the main window comes after the splash and the
# cleanup offer, its tab-state lines match the seeded registry, Tools > Backup Current Settings
# adds one backup file and says so, and File > Exit ends the program.
#   run-main-window.sh DIST-DIR BIN-DIR WORK-DIR WINEARCH
set -u
dist=$1 bin=$2 work=$3 arch=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../wine-prefix.sh"
. "$here/prefix.sh"
wine_prefix "$work" "$arch"
vlmr_install "$dist" "$bin"
vlmr_seed_hijack

report=$drive/vlmrdemo/report.txt
drive_steps() { timeout 200 "$loader" 'C:\vlmrdemo\vlm_uidriver.exe' 'C:\vlmrdemo\report.txt' 150 "$@" </dev/null >/dev/null 2>&1; }
backups() { ls "$drive/Velmora/Backup/"*.reg 2>/dev/null | wc -l; }

"$loader" 'C:\Velmora\Velmora.exe' </dev/null >"$work/velmora.out" 2>&1 &
program=$!
# The offer of the seeded hijack is declined; then the window must be up.
drive_steps box:cancel main
[ "$(backups)" = 1 ] && ok "one backup at start" || fail "backups at start: $(backups)"
sleep 1.2  # a backup within the same second would replace the start's
drive_steps menu:4202 box:ok menu:4207 'about:C:\vlmrdemo\about.bmp' menu:4201 gone
for _ in $(seq 1 240); do kill -0 $program 2>/dev/null || break; sleep 0.5; done
if kill -0 $program 2>/dev/null; then fail "the program is still running after File > Exit"; kill $program; else
  wait $program; ok "File > Exit ended the program (status $?)"; fi
[ "$(backups)" = 2 ] && ok "the backup command added one file" || fail "backups after the command: $(backups)"

text=$(cat "$report" 2>/dev/null)
expect() { grep -qxF -- "$1" <<<"$text" && ok "$2" || fail "$2: no line '$1' in: $text"; }
expect "box: Velmora detected about:blank parasites which can be deleted automatically. Press OK to clean up." \
  "the cleanup was offered"
expect "main: shown, splash gone" "the window appears after the splash"
expect "box: Backup complete successfully." "the backup said so"
expect "about: closed" "Help > About opened the About window and its OK closed it"
expect "gone" "the window went away"
[ "$(grep -n '^box: Velmora detected' <<<"$text" | cut -d: -f1)" -lt "$(grep -n '^main:' <<<"$text" | cut -d: -f1)" ] \
  && ok "offer before window" || fail "order: $text"

state=$(vlmr_tab_state)
bho_lines=$(grep -c 'BHO: ' <<<"$state")
[ "$bho_lines" = 1 ] && ok "one BHO line" || fail "BHO lines: $bho_lines in: $state"
grep -qixF "BHO: $vlmr_clsid, 'Demo Helper', 'c:\\vlmrdemo\\vlmcyclebho.dll'" <<<"$state" \
  && ok "the BHO line names the seeded object" || fail "BHO line: $state"
grep -qF "Setting: " <<<"$state" && grep "Setting: " <<<"$state" | grep -qF ", 'http://hijack.example/start'" \
  && ok "the seeded start page is listed" || fail "settings lines: $state"
# Written by the load, after the detection check.
grep -a -A1000 'CZiRaraviz.Check' "$drive/Velmora/VLMR.log" | grep -q 'FMain.LogTabState' \
  && ok "tab state after the check" || fail "no tab state after the detection check"

if [ "$failures" -ne 0 ]; then
  echo "--- report"; cat "$report"; echo "--- log"; cat "$drive/Velmora/VLMR.log"; echo "--- program"; cat "$work/velmora.out"
  echo "$failures failed"
  exit 1
fi
"$server" -k 2>/dev/null
rm -rf "$work"
echo "all passed"
