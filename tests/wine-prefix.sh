# Sourced (not run) by the tests that run the real program in a throw-away Wine prefix of their
# own: the checks' counting and the fresh prefix.
#   wine_prefix WORK-DIR WINEARCH   empty WORK-DIR and boot a new prefix in it; its server is
#                                   stopped when the test exits
# Afterwards: $loader, $server, $WINEPREFIX, $drive; w runs a Windows program; fail and ok count.

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }
w() { "$loader" "$@" </dev/null; }

wine_prefix() {
  local work=$1 arch=$2
  if [ "$arch" = win64 ]; then loader=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64
  else loader=/usr/lib/wine/wine server=/usr/lib/wine/wineserver32; fi
  # Never a developer's own prefix: always a fresh one under the work folder.
  case "$work" in /|"$HOME"|"$HOME"/.wine*) echo "refusing work folder $work"; exit 2 ;; esac
  [ -d "$work/prefix" ] && WINEPREFIX=$work/prefix "$server" -k 2>/dev/null
  rm -rf "$work"
  mkdir -p "$work"
  export WINEPREFIX=$work/prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export WINELOADER=$loader WINESERVER=$server
  timeout 240 "$loader" wineboot -i </dev/null >"$work/boot.log" 2>&1 || { echo "wineboot failed"; cat "$work/boot.log"; exit 1; }
  "$server" -p </dev/null >/dev/null 2>&1
  # The server may already be stopped by then (a script that stops it itself): that is no failure
  # of the script, whose own status stands.
  trap '"$server" -k 2>/dev/null || true' EXIT
  drive=$WINEPREFIX/drive_c
}
