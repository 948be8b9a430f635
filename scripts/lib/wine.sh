# Sourced by scripts/test and scripts/run: a private Wine prefix, a headless X display,
# and cleanup on exit. Never touches ~/.wine: every Wine run here has WINEPREFIX set.
#   zv_xvfb_start          start Xvfb on a free display, export DISPLAY (stopped on exit)
#   zv_display_ensure      keep $DISPLAY if it answers, else zv_xvfb_start
#                          (ZV_XVFB_PID is set when it started one)
#   zv_wine_prefix DIR     export the Wine environment for DIR, initialise it once,
#                          start a persistent wineserver for it (stopped on exit)
#                          at ZV_DPI dots per inch (its LogPixels; 96 unless set), on a
#                          virtual desktop unless ZV_VIRTUAL_DESKTOP=0 (when first made)
#   zv_wine_exe NAME       the full Windows path of Wine's own NAME.exe (reg, cmd, msiexec ...)
#   zv_wine_stop           stop the wineserver and every Wine process of that prefix
#   zv_on_exit CMD...      run CMD on exit (last added runs first)

ZV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
ZV_XVFB_PID=""
ZV_EXIT_CMDS=()

zv_on_exit() { ZV_EXIT_CMDS=("$*" "${ZV_EXIT_CMDS[@]}"); }
zv_run_exit_cmds() {
  local cmd
  for cmd in "${ZV_EXIT_CMDS[@]}"; do eval "$cmd" || true; done
  ZV_EXIT_CMDS=()
}
trap zv_run_exit_cmds EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Japanese text needs a Japanese UTF-8 locale under Wine.
zv_wine_locale() {
  unset LC_ALL
  export LANG=ja_JP.UTF-8
}

zv_xvfb_start() {
  local n size=${ZV_SCREEN:-1280x1024x24}
  for n in $(seq 90 160); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    Xvfb ":$n" -screen 0 "$size" -nolisten tcp -noreset >/dev/null 2>&1 &
    ZV_XVFB_PID=$!
    for _ in $(seq 50); do                      # up to 10 s for it to answer
      if ! kill -0 "$ZV_XVFB_PID" 2>/dev/null; then break; fi
      # (Its lock names it: another server started at the same time may have won :$n.)
      if [[ $(tr -d ' \n' 2>/dev/null <"/tmp/.X$n-lock") == "$ZV_XVFB_PID" ]] &&
        timeout 2 xdpyinfo -display ":$n" >/dev/null 2>&1; then
        export DISPLAY=":$n"
        zv_on_exit zv_xvfb_stop
        return 0
      fi
      sleep 0.2
    done
    kill "$ZV_XVFB_PID" 2>/dev/null || true      # lost a race for :$n, or hung: next one
    wait "$ZV_XVFB_PID" 2>/dev/null || true
    ZV_XVFB_PID=""
  done
  echo "wine.sh: could not start Xvfb" >&2
  return 1
}

zv_xvfb_stop() {
  [[ -n $ZV_XVFB_PID ]] || return 0
  kill "$ZV_XVFB_PID" 2>/dev/null || true
  wait "$ZV_XVFB_PID" 2>/dev/null || true
  ZV_XVFB_PID=""
}

zv_display_ensure() {
  if [[ -n ${DISPLAY:-} ]] && timeout 5 xdpyinfo >/dev/null 2>&1; then return 0; fi
  zv_xvfb_start
}

# zv_wine_env DIR: the environment of Wine runs in the prefix DIR (under build/).
zv_wine_env() {
  export WINEPREFIX
  WINEPREFIX=$(cd "$1" && pwd)
  if [[ $WINEPREFIX == "$HOME/.wine" || $WINEPREFIX != "$ZV_ROOT/build/"* ]]; then
    echo "wine.sh: refusing prefix $WINEPREFIX (must be under $ZV_ROOT/build/)" >&2
    return 1
  fi
  # No Mono or Gecko install prompts; no menu entries on the Linux desktop for the
  # prefix's Start menu.
  export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
  export WINEDEBUG=-all
  export WINEARCH=win64
  zv_wine_locale
}

zv_wine_prefix() {
  mkdir -p "$1"
  zv_wine_env "$1" || return 1
  zv_on_exit zv_wine_stop
  if [[ ! -f $WINEPREFIX/system.reg || -e $WINEPREFIX/.zv-init-incomplete ]]; then
    echo "wine.sh: initialising Wine prefix $WINEPREFIX"
    touch "$WINEPREFIX/.zv-init-incomplete"
    zv_wine_fresh "$WINEPREFIX" || { echo "wine.sh: no fresh Wine prefix" >&2; return 1; }
    rm -f "$WINEPREFIX/.zv-init-incomplete"
  fi
  wineserver -k </dev/null >/dev/null 2>&1 || true   # leftovers of an interrupted run
  timeout 30 wineserver -w </dev/null >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1 || true   # persistent: one server for all runs
  if [[ ! -e $WINEPREFIX/.zv-settings-1 ]]; then
    # A virtual desktop (unless ZV_VIRTUAL_DESKTOP=0): with no window manager on the
    # display, Wine waits 2 s for one each time a shown window is hidden. A crash ends
    # the process at once instead of waiting in the debugger.
    if [[ ${ZV_VIRTUAL_DESKTOP:-1} != 0 ]]; then
      timeout 60 wine "$(zv_wine_exe reg)" add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f \
        </dev/null >/dev/null 2>&1 || true
      timeout 60 wine "$(zv_wine_exe reg)" add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
        </dev/null >/dev/null 2>&1 || true
    fi
    timeout 60 wine "$(zv_wine_exe reg)" add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Debugger /d '' /f </dev/null >/dev/null 2>&1 || true
    touch "$WINEPREFIX/.zv-settings-1"
    zv_wine_restart  # the desktop those commands started was made without the settings
  fi
  local dpi=${ZV_DPI:-96}
  if [[ $(cat "$WINEPREFIX/.zv-dpi" 2>/dev/null || echo 96) != "$dpi" ]]; then
    # Read once, as the server starts: the user's value, and the one Wine falls back on.
    local reg=$WINEPREFIX/.zv-dpi.reg
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x\n\n[HKEY_CURRENT_CONFIG\\Software\\Fonts]\n"LogPixels"=dword:%08x\n' \
      "$dpi" "$dpi" >"$reg"
    timeout 60 wine "$(zv_wine_exe regedit)" /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1 ||
      { echo "wine.sh: could not set $dpi dpi" >&2; return 1; }
    echo "$dpi" >"$WINEPREFIX/.zv-dpi"
    zv_wine_restart
  fi
  # Start Wine's own services now, detached from our output: started later from a test,
  # they would inherit its pipes and a runner reading them (ctest) would wait forever.
  timeout 120 wine "$(zv_wine_exe wineboot)" </dev/null >/dev/null 2>&1 || true
}

# Wine's own programs, run by their full path (`wine "$(zv_wine_exe reg)" ...`): by its
# name alone (`wine reg`) Wine starts one through start.exe, a second process that costs
# as much again as a small program's start (reg.exe: about 0.6 CPU-seconds instead of 0.06).
zv_wine_exe() {
  if [[ $1 == regedit ]]; then printf 'C:\\windows\\%s.exe' "$1"; else printf 'C:\\windows\\system32\\%s.exe' "$1"; fi
}

# zv_wine_fresh DIR: DIR (empty, WINEPREFIX=DIR) becomes a newly initialised prefix: a
# copy of one that wineboot made once for all (build/wine-template), so that each
# prefix costs a copy instead of the 20 to 30 s of its own wineboot. The template is
# made again when Wine's own files are newer than it (Wine would update every copy of
# it at its first start).
ZV_TEMPLATE_RECIPE=2  # raised when the template is made differently: old ones are made again
# zv_wine_template: makes build/wine-template, the prefix every other one is copied from, unless
# it is there and current. Safe to run beside zv_wine_fresh: they take turns.
zv_wine_template() {
  local template=$ZV_ROOT/build/wine-template
  mkdir -p "$ZV_ROOT/build"
  (
    flock -w 600 8 || { echo "wine.sh: the template prefix stays busy" >&2; exit 1; }
    zv_wine_template_locked "$template"
  ) 8>"$ZV_ROOT/build/wine-template.lock"
}

# (With the template lock held.)
zv_wine_template_locked() {
  local template=$1
  if [[ $(cat "$template/.zv-complete" 2>/dev/null) != "$ZV_TEMPLATE_RECIPE" ||
    $(tr -d '\r\n' <"$template/.update-timestamp" 2>/dev/null) != "$(stat -c %Y /usr/share/wine/wine.inf 2>/dev/null)" ]]; then
    rm -rf "$template" && mkdir -p "$template" || return 1
    WINEPREFIX=$template timeout 300 wineboot -i </dev/null >/dev/null 2>&1 ||
      { echo "wine.sh: wineboot -i failed" >&2; return 1; }
    # wineboot -i returns with work of the initialisation still running (the registry
    # written out, services ending): the prefix is whole once every process of it has
    # ended, however long that takes on a busy machine; a copy taken earlier would be
    # half made.
    WINEPREFIX=$template timeout 600 wineserver -w </dev/null >/dev/null 2>&1 ||
      { echo "wine.sh: the new prefix's processes did not end" >&2; return 1; }
    [[ -f $template/system.reg ]] || { echo "wine.sh: wineboot -i made no registry" >&2; return 1; }
    # The USB and HID bus drivers off: nothing here uses them, and their polling took
    # a second or two of CPU time in each prefix's session.
    awk '/^\[/ { bus = /^\[System\\\\CurrentControlSet\\\\Services\\\\wine(usb|bus)\]/ }
      bus && /^"Start"=/ { $0 = "\"Start\"=dword:00000004" } { print }' \
      "$template/system.reg" >"$template/system.reg.new" &&
      mv "$template/system.reg.new" "$template/system.reg" || return 1
    # Names this prefix's server folder in /tmp (Debian's Wine): each copy makes its own.
    rm -f "$template/wineserver"
    echo "$ZV_TEMPLATE_RECIPE" >"$template/.zv-complete"
  fi
}

zv_wine_fresh() {
  local dir=$1 template=$ZV_ROOT/build/wine-template
  mkdir -p "$ZV_ROOT/build"
  (
    flock -w 600 8 || { echo "wine.sh: the template prefix stays busy" >&2; exit 1; }
    zv_wine_template_locked "$template" || exit 1
    find "$dir" -mindepth 1 -maxdepth 1 ! -name .zv-init-incomplete -exec rm -rf {} + &&
      cp -a "$template/." "$dir/" && rm -f "$dir/.zv-complete"
  ) 8>"$ZV_ROOT/build/wine-template.lock"
}

zv_wine_restart() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  timeout 30 wineserver -w </dev/null >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1 || true
}

zv_wine_stop() {
  [[ -n ${WINEPREFIX:-} ]] || return 0
  wineserver -k </dev/null >/dev/null 2>&1 || true
  timeout 30 wineserver -w </dev/null >/dev/null 2>&1 || true
}
