# The native Linux program on a private Xvfb with a window manager (openbox) and an
# XEmbed tray (trayer), driven with xdotool, looked at with xwininfo/xprop,
# screenshots, the clipboard and its settings file; sourced through tests/e2e/common.sh
# by the scenarios (E2E_BACKEND=native). Every wait is a bounded poll.
E2E_EXE=${ZORVANE_QT_EXE:-${ZORVANE_BUILD_NATIVE:-$E2E_ROOT/build/native}/ZorvaneQt}
E2E_PICS=$E2E_ROOT/build/e2e-pics-native
DX=0 DY=0     # the program's (0, 0) on the X screen: the primary monitor's corner
LONG_MAX=600  # past the 260 characters of Windows; typed in full
E2E_CAN_COVER=1
PID=""        # the program started last

host_path() { printf '%s' "$1"; }
path_length() { printf '%s' "$1" | wc -m; }

# ---- windows

# The program's X windows (mapped or not), one id a line. Found by their WM_CLASS class,
# the application name, the same for build/native/ZorvaneQt and an installed
# /usr/bin/zorvane (the instance part is the executable's name).
our_windows() { xdotool search --class '^Zorvane$' 2>/dev/null; }
visible() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
prop() { xprop -id "$1" "$2" 2>/dev/null; }  # ID PROPERTY
window_type_is() { prop "$1" _NET_WM_WINDOW_TYPE | grep -q "= _NET_WM_WINDOW_TYPE_$2"; }
# Visible windows of the program of a type (DIALOG, POPUP_MENU ...), one id a line.
visible_of_type() {
  local w
  for w in $(our_windows); do visible "$w" && window_type_is "$w" "$1" && echo "$w"; done
}
e2e_windows() {
  local w
  for w in $(xdotool search --onlyvisible --classname '.' 2>/dev/null); do
    echo "$w \"$(xdotool getwindowname "$w" 2>/dev/null)\" [$(geometry_of "$w")]" \
      "$(prop "$w" WM_CLASS | sed 's/.*= //')"
  done
}
# "x y w h" of a window, in desktop coordinates.
geometry_of() {
  xwininfo -id "$1" 2>/dev/null | awk -v dx="$DX" -v dy="$DY" '
    /Absolute upper-left X/ { x = $NF - dx } /Absolute upper-left Y/ { y = $NF - dy }
    /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF } END { print x, y, w, h }'
}

# The program's visible window with the X11 role ROLE, if any.
with_role() {
  local w
  for w in $(xdotool search --onlyvisible --class '^Zorvane$' 2>/dev/null); do
    prop "$w" WM_WINDOW_ROLE | grep -q "\"$1\"" && { echo "$w"; return 0; }
  done
  return 1
}
# The picture window (its role names it), mapped or not. Looked up each time: Qt makes
# a new X window when the hidden picture changes band.
picture_id() {
  local w
  for w in $(our_windows); do
    prop "$w" WM_WINDOW_ROLE | grep -q '"ZorvanePicture"' && { echo "$w"; return 0; }
  done
  return 1
}
picture_visible() { local w; w=$(picture_id) && visible "$w"; }
picture_geometry() { local w; w=$(picture_id) && geometry_of "$w"; }
# 1 when the window manager keeps the picture above others.
picture_top() { prop "$(picture_id)" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE && echo 1 || echo 0; }
# The box "l,t,r,b" the window's shape keeps, "none" when it is a plain rectangle.
picture_shape() {
  local e
  e=$(xwininfo -shape -id "$(picture_id)" 2>/dev/null | sed -n 's/.*Window shape extents: *//p')
  [[ -z $e ]] && { echo none; return; }
  [[ $e =~ ^([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+) ]] &&
    echo "${BASH_REMATCH[3]},${BASH_REMATCH[4]},$((BASH_REMATCH[3] + BASH_REMATCH[1])),$((BASH_REMATCH[4] + BASH_REMATCH[2]))"
}
picture_bands() { :; }  # X11 tells the shape's extents only
activate_picture() {
  xdotool windowactivate --sync "$(picture_id)" 2>/dev/null
  wait_for eval '[[ $(xdotool getactivewindow 2>/dev/null) == $(picture_id) ]]' ||
    fail "the picture did not become active"
}
# The program's windows and their state.
program_windows() {
  local w
  for w in $(our_windows); do visible "$w" && echo "$w [$(geometry_of "$w")]"; done
}

# Another application's window, to see which one the stacking keeps on top: a
# full-colour xmessage over (x, y), raised by the window manager as it maps.
COVER_PID=""
cover_at() {  # X Y
  uncover
  xmessage -geometry "120x80+$1+$2" -bg 'rgb:40/40/f0' -fg 'rgb:40/40/f0' -buttons '' cover \
    >/dev/null 2>&1 &
  COVER_PID=$!
  wait_for eval 'xdotool search --onlyvisible --classname "^xmessage$" >/dev/null' ||
    fail "the covering window did not show"
}
uncover() { [[ -n $COVER_PID ]] && kill "$COVER_PID" 2>/dev/null; COVER_PID=""; }
COVER_RGB="64,64,240"

# ---- the program

# Starts the program without waiting for it to show anything.
start_program_quietly() {
  reap || return 1
  PID=""
  "$E2E_EXE" >>"$E2E_ART/$E2E_NAME-program.log" 2>&1 9>&- &
  PID=$!
}
start_program() {
  start_program_quietly
  # Startup ends with the icon in the tray, and the picture shown or a message up.
  wait_for -t 20 eval 'tray_icon_lines >/dev/null || msgbox_up' || { fail "the program did not start"; return 1; }
  wait_for -t 5 eval 'picture_visible || msgbox_up'
  return 0
}

# A process that has ended stays a zombie until the script reaps it: that is gone too.
# The program's CPU time so far, user and system, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$PID/stat"; }
# The program's peak resident memory, in KB.
peak_kb() { awk '/^VmHWM/ { print $2 }' "/proc/$PID/status"; }
alive() { [[ -n $PID && -r /proc/$PID/stat && $(awk '{ print $3 }' "/proc/$PID/stat" 2>/dev/null) != Z ]]; }

# The exit status of the program that has ended: anything but 0 (a crash) fails.
reap() {
  [[ -n $PID ]] && gone || return 0
  local rc=0
  wait "$PID" 2>/dev/null || rc=$?
  PID=""
  ((rc == 0)) || fail "the program ended with status $rc$( ((rc > 128)) && echo " (signal $((rc - 128)))")"
}

# Ends the program as the session's end would: SIGTERM, which takes its tray icon away.
stop_program() {
  uncover
  [[ -n $PID ]] || return 0
  if alive; then
    kill -TERM "$PID"
    wait_for -t 10 gone || { fail "the program did not end on SIGTERM"; kill -KILL "$PID"; }
  fi
  reap
}

# Runs a second copy; prints how long it took to end (ms), fails if it did not.
second_copy() {
  local t=${EPOCHREALTIME/./}
  timeout 20 "$E2E_EXE" >>"$E2E_ART/$E2E_NAME-program.log" 2>&1 ||
    { fail "the second start did not end by itself (status $?)"; return 1; }
  echo $(((${EPOCHREALTIME/./} - t) / 1000))
}

# ---- settings: the INI file the program reads at startup

export XDG_CONFIG_HOME=$E2E_ART/$E2E_NAME-config
CONF=$XDG_CONFIG_HOME/Kelvra/Kelvra.conf
settings_clear() { rm -f "$CONF"; }
settings_write() {  # NAME=VALUE...
  mkdir -p "${CONF%/*}"
  { echo '[Kelvra]'; printf '%s\n' "$@"; } >"$CONF"
}
declare -A SETTINGS
settings_read() {  # fills SETTINGS; false when there is no file
  SETTINGS=()
  [[ -f $CONF ]] || return 1
  local line name value
  while IFS= read -r line; do
    [[ $line =~ ^([A-Za-z]+)=(.*)$ ]] || continue
    name=${BASH_REMATCH[1]} value=${BASH_REMATCH[2]}
    [[ $value =~ ^\"(.*)\"$ ]] && value=${BASH_REMATCH[1]}
    SETTINGS[$name]=$value
  done <"$CONF"
}

# ---- the tray: trayer along the bottom right, the icon docked in it

# xwininfo's lines for the program's windows inside the tray panel; false when none.
tray_icon_lines() {
  xwininfo -root -tree | awk '
    /\("panel" "trayer"\)/ { match($0, /^ */); depth = RLENGTH; inside = 1; next }
    inside { match($0, /^ */); if (RLENGTH <= depth) inside = 0
             else if (/ "Zorvane"\)/) { print; found = 1 } }
    END { exit !found }'
}
tray_icon_line() { tray_icon_lines | head -n1; }
TRAY_X=0 TRAY_Y=0
# The icon is docked and drawn (not one flat colour); TRAY_X/Y at its centre.
tray_shown() {
  local l w h x y
  l=$(tray_icon_line) && [[ -n $l ]] || return 1
  [[ $l =~ ([0-9]+)x([0-9]+)\+-?[0-9]+\+-?[0-9]+\ +\+(-?[0-9]+)\+(-?[0-9]+) ]] || return 1
  w=${BASH_REMATCH[1]} h=${BASH_REMATCH[2]} x=${BASH_REMATCH[3]} y=${BASH_REMATCH[4]}
  TRAY_X=$((x + w / 2 - DX)) TRAY_Y=$((y + h / 2 - DY))
  shot && [[ $(/usr/bin/convert "$E2E_SHOT" -crop "${w}x$h+$x+$y" +repage -format '%[fx:standard_deviation > 0.05 ? 1 : 0]' info:) == 1 ]]
}
tray_empty() { ! tray_icon_lines >/dev/null; }

# ---- the command menu

menu_id() { with_role ZorvaneMenu; }
menu_open() { [[ -n $(menu_id) ]]; }
menu_geometry() { geometry_of "$(menu_id)"; }
# Now and then (about one run in eight on a busy machine) an XEmbed icon's right click
# opens no menu; a person clicks again, and so does this, once, saying so.
tray_right_click() { CLICKED_AT=$EPOCHREALTIME; click "$TRAY_X" "$TRAY_Y" 3; }
menu_from_tray() {
  tray_shown || { fail "no tray icon to click"; return 1; }
  click "$TRAY_X" "$TRAY_Y" 3
  wait_for -t 4 menu_open && return 0
  log "no menu after a right click on the tray icon: clicking again"
  click "$TRAY_X" "$TRAY_Y" 3
  wait_for menu_open || fail "no menu after two right clicks on the tray icon"
}

# ---- dialogs

msgbox_id() { xdotool search --onlyvisible --name "^${E2E_TITLE//./\\.}\$" 2>/dev/null | head -n1; }
msgbox_up() { [[ -n $(msgbox_id) ]]; }
msgbox_count() { xdotool search --onlyvisible --name "^${E2E_TITLE//./\\.}\$" 2>/dev/null | grep -c .; }
msgbox_active() { local m; m=$(msgbox_id) && [[ $(xdotool getactivewindow 2>/dev/null) == "$m" ]]; }
# The message as the box copies it with Ctrl+C, between its dashed lines.
msgbox_text() {
  wait_for msgbox_active || { fail "the message box is not the active window"; return 1; }
  printf '' | xclip -selection clipboard -i >/dev/null 2>&1
  key ctrl+c
  local copied=""
  wait_for eval 'copied=$(xclip -selection clipboard -o 2>/dev/null) && [[ $copied == ---* ]]' ||
    { fail "Ctrl+C copied nothing from the message box"; return 1; }
  # ---, title, ---, text..., ---, OK, ---
  printf '%s\n' "$copied" | awk '/^-+$/ { n++; next } n == 2'
}
# info, critical or none: the colour left in the box, where the icon goes (a blue "i",
# a red cross; text is grey).
msgbox_icon() {
  local g
  read -r -a g <<<"$(geometry_of "$(msgbox_id)")"
  shot
  local crop=(-crop "56x56+$((g[0] + DX))+$((g[1] + DY))" +repage)
  # The share of strongly red and of strongly blue pixels.
  local red blue
  red=$(/usr/bin/convert "$E2E_SHOT" "${crop[@]}" -fx 'r - max(g, b) > 0.25' -format '%[fx:mean > 0.01]' info:)
  blue=$(/usr/bin/convert "$E2E_SHOT" "${crop[@]}" -fx 'b - max(r, g) > 0.25' -format '%[fx:mean > 0.01]' info:)
  if ((red)); then echo critical; elif ((blue)); then echo info; else echo none; fi
}
msgbox_ok() {
  wait_for msgbox_active || { fail "the message box is not the active window"; return 1; }
  key Return
  wait_for no_msgbox || fail "the message box stayed after Enter"
}

# The Open dialog: the program's dialog that is not a message box.
open_dialog_id() {
  local w
  for w in $(visible_of_type DIALOG); do
    [[ $(xdotool getwindowname "$w") != "$E2E_TITLE" ]] && { echo "$w"; return 0; }
  done
  return 1
}
open_dialog_up() { open_dialog_id >/dev/null; }
open_dialog_filter() { :; }  # not readable from outside Qt; the Qt tests check it
dialog_up() { msgbox_up || open_dialog_up; }
# Types NAME into the Open dialog's file name box, which has the keyboard, and presses
# Enter (twice if the first only took the completion offered).
open_choose() {
  wait_for eval '[[ $(xdotool getactivewindow 2>/dev/null) == $(open_dialog_id) ]]' ||
    { fail "no active Open dialog"; return 1; }
  key ctrl+a BackSpace
  if [[ $1 == *[![:ascii:]]* ]]; then
    # xdotool types other scripts by remapping a key, and the first key after the
    # remap can be lost: pasted instead.
    printf '%s' "$1" | xclip -selection clipboard -i >/dev/null 2>&1
    key ctrl+v
  else
    xdotool type --delay 4 -- "$1"
  fi
  key Return
  wait_for -t 2 open_dialog_gone || key Return
  wait_for open_dialog_gone || { fail "the Open dialog stayed after Enter"; return 1; }
}

# ---- lifecycle

TRAYER=""
# trayer now and then leaves its panel unmapped (one start in ten or so on a busy
# machine): the window is made, typed as a dock and sized, and the map never comes; the
# map is sent for it then, and the window manager takes the panel as it would have.
tray_start() {
  trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true \
    --transparent false >>"$E2E_ART/$E2E_NAME-trayer.log" 2>&1 9>&- &
  TRAYER=$!
  local w=""
  wait_for eval 'w=$(xdotool search --classname "^panel$" 2>/dev/null | head -n1) &&
    [[ -n $w ]] && window_type_is "$w" DOCK' || { fail "the tray did not start"; return 1; }
  wait_for -t 2 visible "$w" && return 0
  log "trayer left its panel unmapped: mapping it"
  xdotool windowmap "$w"
  wait_for visible "$w" || fail "the tray's panel did not show"
}
tray_stop() {
  [[ -n $TRAYER ]] && kill "$TRAYER" 2>/dev/null && wait "$TRAYER" 2>/dev/null
  TRAYER=""
  wait_for eval '! xdotool search --classname "^panel$" >/dev/null' || fail "the tray did not end"
}

E2E_XVFB="" E2E_HELPERS=()
e2e_cleanup() {
  stop_program 2>/dev/null
  local p
  for p in "${E2E_HELPERS[@]}" $TRAYER; do kill "$p" 2>/dev/null; done
  [[ -n $E2E_XVFB ]] && kill "$E2E_XVFB" 2>/dev/null
  wait 2>/dev/null
}

e2e_begin() {
  [[ -x $E2E_EXE ]] || { log "no program at $E2E_EXE"; exit 1; }
  local tool
  for tool in Xvfb openbox trayer xdotool xwininfo xprop xmessage xclip import xrdb xrandr dbus-daemon; do
    command -v "$tool" >/dev/null || { log "$tool is not installed (scripts/deps)"; exit 1; }
  done
  mkdir -p "$E2E_ART"
  rm -rf "$E2E_ART/$E2E_NAME"-*
  make_pictures || { log "could not make the test pictures"; exit 1; }
  trap e2e_cleanup EXIT

  if ((E2E_MONITORS)); then
    monitors_start
    local rc=$?
    E2E_XVFB=$E2E_XORG  # stopped on exit, started or not
    ((rc == 0)) || exit 1
  else
    # A private display: white root, 96 dpi, so a pixel is 15 twips.
    local fd_file=$E2E_ART/$E2E_NAME-display n attempt
    for attempt in 1 2 3; do
      Xvfb -displayfd 3 -screen 0 "${E2E_SIZE}x24" -dpi 96 -wr -nolisten tcp \
        3>"$fd_file" 2>"$E2E_ART/$E2E_NAME-xvfb.log" &
      E2E_XVFB=$!
      wait_for eval '[[ -s $fd_file ]]' || { log "Xvfb did not start"; exit 1; }
      n=$(head -n1 "$fd_file")
      # The server lives and its display answers. (Twice the window manager then could not
      # open it.)
      kill -0 "$E2E_XVFB" 2>/dev/null && timeout 5 xdpyinfo -display ":$n" >/dev/null 2>&1 && break
      log "Xvfb on :$n does not answer (try $attempt)"
      kill "$E2E_XVFB" 2>/dev/null
      wait "$E2E_XVFB" 2>/dev/null
      E2E_XVFB="" && ((attempt == 3)) && exit 1
    done
    export DISPLAY=:$n
  fi
  # The program alone: Qt's X11 platform, no session bus (the tray is XEmbed; a group
  # that wants a tray host over D-Bus starts a bus of its own), its own
  # runtime folder for the single-instance lock, Japanese texts.
  unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI
  # A scaled desktop, as the user asks Qt for one (or as X resources say, below).
  if ((E2E_DPI != 96)) && [[ ${E2E_SCALE_BY:-factor} != xft ]]; then
    QT_SCALE_FACTOR=$(awk -v d="$E2E_DPI" 'BEGIN { print d / 96 }')
    export QT_SCALE_FACTOR
  fi
  export QT_QPA_PLATFORM=xcb LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  export XDG_RUNTIME_DIR=$E2E_ART/$E2E_NAME-run
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

  local wm attempt
  for attempt in 1 2; do
    openbox --sm-disable >>"$E2E_ART/$E2E_NAME-openbox.log" 2>&1 9>&- &
    wm=$!
    E2E_HELPERS+=($wm)
    wait_for eval '! kill -0 $wm 2>/dev/null || xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'
    kill -0 "$wm" 2>/dev/null && break
    log "the window manager ended at once (try $attempt): $(tail -n1 "$E2E_ART/$E2E_NAME-openbox.log")"
  done
  wait_for eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' ||
    { log "the window manager did not start"; exit 1; }
  # With a client connected for good: the server forgets resources when the last one goes.
  if ((E2E_DPI != 96)) && [[ ${E2E_SCALE_BY:-factor} == xft ]]; then
    echo "Xft.dpi: $E2E_DPI" | xrdb -nocpp -merge - || { log "xrdb failed"; exit 1; }
  fi
  ((E2E_MONITORS)) && xsetroot -solid white
  tray_start || exit 1
  xdotool mousemove 512 384
  DESKTOP_RGB=255,255,255
}
