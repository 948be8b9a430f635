# The Windows program under Wine on a virtual desktop in a private Xvfb, driven with
# xdotool, looked at with probe.exe, screenshots and the registry; sourced through
# tests/e2e/common.sh by the scenarios (E2E_BACKEND=wine). Every wait is a bounded poll.
E2E_EXE=${ZORVANE_EXE:-$E2E_ROOT/build/windows/Zorvane.exe}
# Set by the installer's tests: the program by its Windows path (an installed copy), and
# their own prefix and desktop.
E2E_EXE_WIN=${E2E_EXE_WIN:-}
E2E_PROBE=${ZORVANE_BUILD_WINDOWS:-$E2E_ROOT/build/windows}/tests/e2e/probe.exe
E2E_PICS=$E2E_ROOT/build/e2e-pics
E2E_DESKTOP=${E2E_DESKTOP:-E2E}
((E2E_MONITORS)) && E2E_DESKTOP=Default  # no virtual desktop: Wine's windows on the X screen
E2E_KEY='HKCU\Software\VB and VBA Program Settings\Kelvra\Kelvra'
PID=""  # the Windows process id of the program started last
DX=0 DY=0  # the virtual desktop's place on the X screen
# Long, yet within MAX_PATH, which Wine's Open dialog overruns (it crashes on a longer
# typed name).
LONG_MAX=245
E2E_CAN_COVER=0  # no other application's window to stack against

source "$E2E_ROOT/scripts/lib/wine.sh"

e2e_windows() { probe list --all | grep 'vis=1'; }

# ---- Wine

# probe ARGS...: asks probe.exe, which runs for the whole script and reads its questions
# from a FIFO (fd 7) and answers on another (fd 6). The answer is read whole before it is
# printed, so a reader that stops early (head -n1) leaves nothing behind for the next.
PROBE_SEQ=0
probe_serve() {
  local fifo=$E2E_ART/$E2E_NAME-probe
  rm -f "$fifo.in" "$fifo.out" && mkfifo "$fifo.in" "$fifo.out" || return 1
  wine "$E2E_PROBE" --desktop "$E2E_DESKTOP" serve <"$fifo.in" >"$fifo.out" 2>/dev/null 9>&- &
  exec 7<>"$fifo.in" 6<>"$fifo.out"
}
probe() {
  local id=$BASHPID.$((++PROBE_SEQ)) line out="" IFS=$'\t'
  printf '%s\n' "$id${*:+$IFS$*}" >&7
  while IFS= read -r -t 30 line <&6; do
    if [[ $line == $'\x1e'* ]]; then
      if [[ ${line:1} == "$id "* ]]; then
        printf '%s' "$out"
        return "${line##* }"
      fi
      out=""  # the end of an answer someone stopped waiting for
      continue
    fi
    out+=$line$'\n'
  done
  log "probe: no answer to $*"
  return 2
}
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
host_path() { winpath "$1"; }
path_length() { winpath "$1" | wc -m; }

# The first line of `probe list` for a class ("" when none), and one field of it.
win() { probe list --class "$1" ${PID:+--pid "$PID"} | head -n1; }
field() {  # LINE KEY
  local v=${1#* "$2"=}
  [[ $v == "$1" ]] && return 1
  [[ $2 == title ]] && printf '%s' "$v" || printf '%s' "${v%% *}"
}
# "x y w h" of a window.
geometry() { local l; l=$(win "$1"); echo "$(field "$l" x) $(field "$l" y) $(field "$l" w) $(field "$l" h)"; }

picture_visible() { win ZorvanePicture | grep -q ' vis=1 '; }
# The picture has FIELD=VALUE, e.g. picture_is fg 1.
picture_is() { [[ $(field "$(win ZorvanePicture)" "$1") == "$2" ]]; }
picture_geometry() { geometry ZorvanePicture; }
picture_top() { field "$(win ZorvanePicture)" top; }
picture_shape() {
  local l
  l=$(win ZorvanePicture)
  [[ $(field "$l" rgn) == 1 ]] && field "$l" box || echo none
}
picture_bands() { field "$(win ZorvanePicture)" rects; }
# Makes the picture the active window as a person would: a click on it.
activate_picture() {
  click 330 220
  wait_for picture_is fg 1 || fail "the picture did not become active"
}
# The program's menu (its process owns it).
menu_line() { probe list --class '#32768' ${PID:+--pid "$PID"} | grep ' vis=1 ' | head -n1; }
menu_open() { [[ -n $(menu_line) ]]; }
menu_geometry() { local l; l=$(menu_line); echo "$(field "$l" x) $(field "$l" y) $(field "$l" w) $(field "$l" h)"; }

start_program() {
  PID=""
  if ((E2E_MONITORS)); then
    wine "${E2E_EXE_WIN:-$(winpath "$E2E_EXE")}" >>"$E2E_ART/$E2E_NAME-wine.log" 2>&1 9>&- &
  else
    wine "$(zv_wine_exe explorer)" "/desktop=$E2E_DESKTOP,$E2E_SIZE" "${E2E_EXE_WIN:-$(winpath "$E2E_EXE")}" \
      >>"$E2E_ART/$E2E_NAME-wine.log" 2>&1 9>&- &
  fi
  local line
  if ! wait_for -t 20 eval 'line=$(probe list --class ZorvaneHost) && [[ -n $line ]]'; then
    fail "the program did not start"
    return 1
  fi
  PID=$(field "$line" pid)
  # Startup ends with the picture shown (or a message box up); give its events time to run.
  wait_for -t 5 eval 'picture_visible || dialog_up'
  return 0
}

alive() { [[ -n $PID ]] && probe alive "$PID"; }
# The program's CPU time so far, user and system, in clock ticks: its Linux process is
# the one of this prefix whose command is the program itself.
unix_pid() {
  local p cmd
  for p in /proc/[0-9]*; do
    # Read by the shell itself: a command or two for each of some hundred processes, at
    # each poll, cost more CPU time than the program being measured.
    { IFS= read -r -d '' cmd <"$p/cmdline"; } 2>/dev/null || continue
    [[ ${cmd,,} == *zorvane.exe ]] || continue
    tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    echo "${p#/proc/}"
    return 0
  done
  return 1
}
cpu_ticks() { local p; p=$(unix_pid) && awk '{ print $14 + $15 }' "/proc/$p/stat"; }
# The processes of this prefix (seconds since each started, state, command), for a failure.
wine_processes() {
  local p
  for p in /proc/[0-9]*; do
    tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    ps -o etimes=,stat=,args= -p "${p#/proc/}" 2>/dev/null
  done
}
# The program's peak resident memory, in KB.
peak_kb() { awk '/^VmHWM/ { print $2 }' "/proc/$(unix_pid)/status"; }


# Runs a second copy; prints how long it took to end (ms), fails if it did not.
second_copy() {
  # Into a file: the started process may hold a pipe open after the probe has ended.
  probe run 20000 "\"$(winpath "$E2E_EXE")\"" >"$E2E_ART/$E2E_NAME-run.txt"
  local out
  out=$(<"$E2E_ART/$E2E_NAME-run.txt")
  [[ $out =~ ^exit=0\ ms=([0-9]+) ]] || { fail "the second start did not end: [$out]"; return 1; }
  echo "${BASH_REMATCH[1]}"
}
# The program's windows, without which one is active.
program_windows() { probe list --pid "$PID" | sed 's/ fg=[01]//'; }

# Ends the program as a task manager would (its tray icon goes with it).
stop_program() {
  [[ -n $PID ]] || return 0
  if alive; then
    xdotool key Escape Escape  # a menu or dialog up would hold the close
    probe close --pid "$PID"
    wait_for -t 10 gone || fail "the program did not end on WM_CLOSE"
  fi
  PID=""
}

# ---- registry

settings_clear() { wine "$(zv_wine_exe reg)" delete "$E2E_KEY" /f >/dev/null 2>&1; return 0; }

# settings_write NAME=VALUE...: the values the program reads at startup.
settings_write() {
  local reg=$E2E_ART/$E2E_NAME-settings.reg kv name value
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "${E2E_KEY/HKCU/HKEY_CURRENT_USER}"
    for kv in "$@"; do
      name=${kv%%=*} value=${kv#*=}
      value=${value//\\/\\\\} value=${value//\"/\\\"}
      printf '"%s"="%s"\r\n' "$name" "$value"
    done
  } | iconv -f UTF-8 -t UTF-16 >"$reg"
  wine "$(zv_wine_exe reg)" import "$reg" >/dev/null 2>&1 || fail "reg import failed"
}

# Fills SETTINGS[name] from the registry; false when the key is absent.
declare -A SETTINGS
settings_read() {
  SETTINGS=()
  local reg=$E2E_ART/$E2E_NAME-export.reg name value line
  rm -f "$reg"
  wine "$(zv_wine_exe reg)" export "$E2E_KEY" "$reg" /y >/dev/null 2>&1 || return 1
  while IFS= read -r line; do
    [[ $line =~ ^\"([^\"]*)\"=\"(.*)\"$ ]] || continue
    name=${BASH_REMATCH[1]} value=${BASH_REMATCH[2]}
    value=${value//\\\"/\"} value=${value//\\\\/\\}
    SETTINGS[$name]=$value
  done < <(iconv -f UTF-16 -t UTF-8 "$reg" | tr -d '\r')
}

# ---- screen

# Desktop coordinates + DX/DY = X coordinates.
desktop_offset() {
  local w
  w=$(xdotool search --name "^$E2E_DESKTOP - Wine desktop\$" | head -n1) || return 1
  eval "$(xdotool getwindowgeometry --shell "$w")"
  DX=$X DY=$Y
}

# ---- the tray: Wine's taskbar, shown while it holds an icon, runs along the bottom of
# the desktop with the first icon at its right end, 10 px in from the corner.

TRAY_X=$((${E2E_SIZE%x*} - 10)) TRAY_Y=$((${E2E_SIZE#*x} - 10))
TASKBAR_RGB="255,255,255"
# Something other than the taskbar or the desktop is drawn where the icon goes.
tray_icon_drawn() {
  shot || return 1
  local m
  m=$(/usr/bin/convert "$E2E_SHOT" -crop 12x12+$((TRAY_X - 6 + DX))+$((TRAY_Y - 6 + DY)) +repage \
    -scale 1x1\! -format '%[fx:round(255*r)],%[fx:round(255*g)],%[fx:round(255*b)]' info:)
  far "$m" "$TASKBAR_RGB" && far "$m" "$DESKTOP_RGB"
}
tray_shown() { probe tray && tray_icon_drawn; }
tray_empty() { ! probe tray && ! tray_icon_drawn; }

# ---- the command menu

# Opens the menu from the tray icon. A press within the double-click time of the last
# one comes as a double click (WM_RBUTTONDBLCLK), which the program rightly ignores, so
# the press waits that time out, as a person's second click would.
TRAY_PRESSED=0
tray_right_click() {  # CLICKED_AT: when it was clicked
  local wait_us=$((TRAY_PRESSED + 600000 - ${EPOCHREALTIME/./}))
  ((wait_us > 0)) && sleep "$(awk "BEGIN { print $wait_us / 1000000 }")"
  CLICKED_AT=$EPOCHREALTIME
  click $TRAY_X $TRAY_Y 3
  TRAY_PRESSED=${EPOCHREALTIME/./}
}
menu_from_tray() {
  tray_right_click
  wait_for menu_open || fail "no menu after a right click on the tray icon"
}

# ---- dialogs

dialog_up() { probe list --class '#32770' ${PID:+--pid "$PID"} | grep -q ' vis=1 '; }
msgbox_up() { probe list --class '#32770' --title "$E2E_TITLE" | grep -q ' vis=1 '; }
msgbox_count() { probe list --class '#32770' --title "$E2E_TITLE" | grep -c ' vis=1 '; }
msgbox_text() { probe text --title "$E2E_TITLE" | grep -v '^\[icon\]'; }
# info, critical or none: the icon's main colour (blue "i", red cross).
msgbox_icon() {
  local r
  r=$(probe text --title "$E2E_TITLE" | grep '^\[icon\]') || { echo none; return; }
  set -- $r
  shot
  /usr/bin/convert "$E2E_SHOT" -crop "$4x$5+$(($2 + DX))+$(($3 + DY))" +repage \
    -format '%[fx:mean.b>mean.r ? 1 : 0]' info: | sed 's/1/info/; s/0/critical/'
}
# Presses Enter on the message box, once it has the keyboard, and waits for it to go.
msgbox_ok() {
  wait_for eval 'probe list --class "#32770" --title "$E2E_TITLE" | grep -q " fg=1 "' ||
    { fail "the message box is not the active window"; return 1; }
  key Return
  wait_for no_msgbox || fail "the message box stayed after Enter"
}

open_dialog_lines() { probe list --class '#32770' --pid "$PID" | grep ' vis=1 ' | grep -v "title=$E2E_TITLE\$"; }
open_dialog_up() { [[ -n $(open_dialog_lines) ]]; }
open_dialog_active() { open_dialog_lines | grep -q ' fg=1 '; }
open_dialog_text() { probe text --pid "$PID"; }
# Puts NAME in the Open dialog's file name box (typed when ASCII) and presses Enter.
open_choose() {
  wait_for open_dialog_active || { fail "no active Open dialog"; return 1; }
  local try
  for try in 1 2; do  # a key typed while the dialog still sets itself up can go astray
    probe setedit --pid "$PID" ""
    if [[ $1 == *[![:ascii:]]* ]]; then
      probe setedit --pid "$PID" "$1"  # xdotool cannot type it into Wine
    else
      xdotool type --delay 4 "$1"
    fi
    wait_for -t 3 open_dialog_has "$1" && break
  done
  open_dialog_has "$1" || { fail "the file name box did not take $1: [$(open_dialog_text)]"; return 1; }
  key Return
  wait_for open_dialog_gone || { fail "the Open dialog stayed after Enter"; return 1; }
}
open_dialog_has() { open_dialog_text | grep -qxF -- "$1"; }
# The filter's line as the dialog shows it.
open_dialog_filter() { open_dialog_text | grep -F '(*.' | head -n1; }


# ---- lifecycle

# The display, the prefix's session and the virtual desktop the scenarios run on.
wine_desktop_start() {
  zv_xvfb_start 9>&- || return 1
  ZV_DPI=$E2E_DPI zv_wine_prefix "${E2E_PREFIX:-$E2E_ROOT/build/e2e-wine}" >/dev/null 9>&- || return 1
  # A process that does nothing keeps the desktop, and its taskbar, between program runs.
  # explorer by its bare name: through start.exe, which has the console of this script,
  # so the probe (a console program) opens no console window on the desktop.
  wine explorer "/desktop=$E2E_DESKTOP,$E2E_SIZE" "$(winpath "$E2E_PROBE")" hold \
    >>"$E2E_ART/$E2E_NAME-wine.log" 2>&1 9>&- &
  wait_for -t 60 eval 'xdotool search --name "^$E2E_DESKTOP - Wine desktop\$" >/dev/null' ||
    { log "no virtual desktop"; return 1; }
}

# The ones of a session that outlives this script (E2E_WINE_SESSION, made by
# tests/e2e/wine/session.sh), at this script's dpi.
wine_session_join() {
  local SESSION_DPI="" ZV_XVFB_PID=""
  source "$E2E_WINE_SESSION" 2>/dev/null || { log "no Wine session in $E2E_WINE_SESSION"; return 1; }
  export DISPLAY
  [[ $SESSION_DPI == "$E2E_DPI" ]] ||
    { log "the Wine session runs at $SESSION_DPI dpi, this script at $E2E_DPI"; return 1; }
  zv_wine_env "$WINEPREFIX" || return 1
  timeout 5 xdpyinfo >/dev/null 2>&1 &&
    xdotool search --name "^$E2E_DESKTOP - Wine desktop\$" >/dev/null ||
    { log "the Wine session's display or desktop is gone"; return 1; }
}

e2e_begin() {
  [[ -f $E2E_EXE ]] || { log "no program at $E2E_EXE"; exit 1; }
  [[ -f $E2E_PROBE ]] || { log "no probe at $E2E_PROBE"; exit 1; }
  # One run at a time on the prefix and the pictures: starting the prefix ends every Wine
  # process in it. What outlives a command is started without the lock's descriptor
  # (9>&-), so that only this script holds the lock.
  mkdir -p "$E2E_ART"
  exec 9>"$E2E_ROOT/build/e2e-wine.lock"
  flock -w 900 9 || { log "the Wine prefix stayed busy"; exit 1; }
  rm -f "$E2E_ART/$E2E_NAME"-*
  make_pictures || { log "could not make the test pictures"; exit 1; }
  if ((E2E_MONITORS)); then
    begin_monitors
    return
  fi
  if [[ -n ${E2E_WINE_SESSION:-} ]]; then
    wine_session_join || exit 1
  else
    wine_desktop_start || exit 1
  fi
  probe_serve || { log "could not start the probe"; exit 1; }
  if [[ -n ${E2E_WINE_SESSION:-} ]] && probe list --class ZorvaneHost >/dev/null; then
    log "ending the program a script before left running"
    probe close
    wait_for eval '! probe list --class ZorvaneHost >/dev/null' || { log "it did not end"; exit 1; }
  fi
  desktop_offset
  xdotool mousemove $((DX + 512)) $((DY + 384))  # keys go where the pointer is
  # The desktop's colour, once it is painted (black before).
  wait_for eval 'shot && DESKTOP_RGB=$(pixel 2 2) && [[ $DESKTOP_RGB != 0,0,0 ]]' ||
    { log "the desktop was not painted"; exit 1; }
}


# Several monitors: Wine straight on the X screen of tests/e2e/monitors.sh, with a window
# manager (Wine waits for one as a window hides), in a prefix of its own that has no
# virtual desktop.
begin_monitors() {
  zv_on_exit monitors_stop
  monitors_start 9>&- || exit 1
  xsetroot -solid white
  openbox --sm-disable >"$E2E_ART/$E2E_NAME-openbox.log" 2>&1 9>&- &
  zv_on_exit "kill $! 2>/dev/null"
  wait_for eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' ||
    { log "the window manager did not start"; exit 1; }
  ZV_VIRTUAL_DESKTOP=0 ZV_DPI=$E2E_DPI zv_wine_prefix "$E2E_ROOT/build/e2e-wine-monitors" \
    >/dev/null 9>&- || exit 1
  probe_serve || { log "could not start the probe"; exit 1; }
  DESKTOP_RGB=255,255,255
}
if ((E2E_MONITORS)); then
  # Without a taskbar Wine keeps the tray icons in a window of its own, the first at its left.
  tray_shown() {
    probe tray || return 1
    local l
    l=$(probe list --class __winex11_standalone_tray | grep ' vis=1 ' | head -n1)
    [[ -n $l ]] || return 1
    TRAY_X=$(($(field "$l" x) + 12)) TRAY_Y=$(($(field "$l" y) + $(field "$l" h) / 2))
  }
fi
