#!/usr/bin/env bash
# One display, Wine session and virtual desktop for several end-to-end scripts under Wine,
# one after another (scripts/test runs them so): each script's own start and stop of
# them cost about 9 CPU-s and 10 to 20 s.
#   tests/e2e/wine/session.sh start FILE [DPI]   starts them (at DPI, 96 unless given) and
#                                                 writes FILE; scripts run with
#                                                 E2E_WINE_SESSION=FILE join them
#   tests/e2e/wine/session.sh stop FILE          ends them
set -u
cmd=${1:-} file=${2:-}
[[ $cmd == start || $cmd == stop ]] && [[ -n $file ]] || {
  echo "usage: session.sh start|stop FILE [DPI]" >&2
  exit 2
}
export E2E_BACKEND=wine E2E_DPI=${3:-96}
unset E2E_WINE_SESSION
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"

stop_session() {
  [[ -f $file ]] || return 0
  local DISPLAY="" WINEPREFIX="" ZV_XVFB_PID=""
  source "$file"
  rm -f "$file"
  [[ -n $WINEPREFIX ]] && WINEPREFIX=$WINEPREFIX wineserver -k </dev/null >/dev/null 2>&1
  [[ -n $WINEPREFIX ]] && WINEPREFIX=$WINEPREFIX timeout 30 wineserver -w </dev/null >/dev/null 2>&1
  [[ -n $ZV_XVFB_PID ]] && kill "$ZV_XVFB_PID" 2>/dev/null
  return 0
}

stop_session
[[ $cmd == stop ]] && exit 0
[[ -f $E2E_PROBE ]] || { log "no probe at $E2E_PROBE"; exit 1; }
mkdir -p "$E2E_ART"
exec 9>"$E2E_ROOT/build/e2e-wine.lock"
flock -w 900 9 || { log "the Wine prefix stayed busy"; exit 1; }
rm -f "$E2E_ART/$E2E_NAME"-*
wine_desktop_start || exit 1
printf 'DISPLAY=%q\nWINEPREFIX=%q\nZV_XVFB_PID=%q\nSESSION_DPI=%q\n' \
  "$DISPLAY" "$WINEPREFIX" "$ZV_XVFB_PID" "$E2E_DPI" >"$file"
ZV_EXIT_CMDS=()  # all of it stays up for the scripts
