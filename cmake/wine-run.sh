#!/usr/bin/env bash
# Runs a Windows program of the build under Wine in the build's own prefix.
#   wine-run.sh --setup      make the prefix (once) and start a persistent wineserver
#   wine-run.sh --stop       stop the prefix's wineserver
#   wine-run.sh PROGRAM ...  run PROGRAM with its arguments
# WINEPREFIX and WINEARCH (win32 or win64) come from the environment.
set -u
: "${WINEPREFIX:?set WINEPREFIX to the prefix of the build folder}"
export WINEARCH=${WINEARCH:-win32} WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ "$WINEARCH" = win64 ]; then
  loader=/usr/lib/wine/wine64; server=/usr/lib/wine/wineserver64
else
  loader=/usr/lib/wine/wine; server=/usr/lib/wine/wineserver32
fi
[ -x "$loader" ] || loader=$(command -v wine)
[ -x "$server" ] || server=$(command -v wineserver)
export WINELOADER=$loader WINESERVER=$server
case "${1:-}" in
  --setup)
    # Wine's own service processes outlive the command that starts them; they must not
    # inherit a test's output pipe, or ctest waits on it until the timeout.
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      timeout 240 "$loader" wineboot -i </dev/null >"$WINEPREFIX.boot.log" 2>&1 \
        || { echo "wineboot failed:"; cat "$WINEPREFIX.boot.log"; exit 1; }
    fi
    "$server" -p </dev/null >/dev/null 2>&1 || true
    timeout 120 "$loader" wineboot </dev/null >>"$WINEPREFIX.boot.log" 2>&1 || true
    exit 0 ;;
  --stop)
    "$server" -k 2>/dev/null || true
    exit 0 ;;
esac
exec "$loader" "$@"
