# Sourced by the end-to-end scenarios in this folder. They run against either build of
# the program, as E2E_BACKEND says: wine (the Windows program under Wine, the default)
# or native (the Linux program); tests/e2e/BACKEND/lib.sh drives it. This file holds
# what is the same for both: assertions, bounded polls, screen pixels, input, the test
# pictures, the scenario groups, and the words the scenarios use.
#
#   e2e_begin                 display, desktop, test pictures (all stopped on exit)
#   group [--scaled] NAME FUNCTION
#                             runs one scenario group from a clean state, records the result;
#                             --scaled marks a group whose outcome the screen's scale can
#                             change (places, saved places, the menu's place): with
#                             E2E_GROUPS=scaled only those run
#   e2e_end                   summary; the exit status of the script
#
# A backend defines: e2e_begin, start_program, stop_program, alive, settings_clear,
# settings_write NAME=VALUE..., settings_read (fills SETTINGS), host_path, path_length,
# LONG_MAX, picture_visible, picture_geometry ("x y w h"), picture_top (1/0),
# picture_shape ("l,t,r,b" or none), picture_bands (a number, "" if it cannot see them),
# activate_picture, cpu_ticks (the program's CPU time so far, clock ticks), peak_kb (its
# peak memory), menu_open, menu_geometry, menu_from_tray, tray_shown, tray_empty,
# TRAY_X/TRAY_Y, msgbox_up, msgbox_count, msgbox_text, msgbox_icon (info, critical,
# none), msgbox_ok, open_dialog_up, open_dialog_filter ("" if it cannot read it),
# open_choose PATH, dialog_up, second_copy (runs a second copy, prints its ms),
# program_windows, e2e_windows, DX/DY, E2E_CAN_COVER (with cover_at X Y and uncover).
set -u  # no pipefail: `... | grep -q` must not fail when grep stops reading early

E2E_BACKEND=${E2E_BACKEND:-wine}
E2E_ROOT=${ZORVANE_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
# The screen's dots per inch (96, 120, 144, 192): Wine's LogPixels, or on Linux the
# scale factor E2E_DPI/96 (QT_SCALE_FACTOR, or Xft.dpi with E2E_SCALE_BY=xft).
E2E_DPI=${E2E_DPI:-96}
E2E_NAME=$E2E_BACKEND-$(basename "${BASH_SOURCE[1]}" .sh)
((E2E_DPI == 96)) || E2E_NAME+=-$E2E_DPI
E2E_ART=${E2E_ART:-$E2E_ROOT/build/e2e-artifacts}  # tests/package/deb.sh keeps its own
E2E_SHOT=$E2E_ART/$E2E_NAME-last.miff  # uncompressed: written and read again at every look
E2E_TITLE='Zorvane Ver1.1'
E2E_SIZE=1024x768
E2E_FAILED=()
E2E_PASSED=()
E2E_SKIPPED=()
E2E_GROUPS=${E2E_GROUPS:-all}
E2E_FAILS=0

log() { echo "[$E2E_NAME] $*"; }

# ---- failures

# Records a failure with the screen and the windows at that moment.
fail() {
  log "FAIL: $*"
  local tag=$E2E_ART/$E2E_NAME-fail-$((++E2E_FAILS))
  import -silent -window root "$tag.png" 2>/dev/null && log "  screen: $tag.png"
  e2e_windows 2>/dev/null | sed 's/^/  window: /'
  return 1
}

expect_eq() {  # WHAT EXPECTED SEEN
  [[ $2 == "$3" ]] && return 0
  fail "$1: expected [$2], seen [$3]"
}

expect_near() {  # WHAT EXPECTED SEEN TOLERANCE
  local d=$(($3 - $2))
  ((d < 0)) && d=$((-d))
  ((d <= $4)) && return 0
  fail "$1: expected $2 (±$4), seen $3"
}

# ---- twips: the program places windows in device pixels, 1440/E2E_DPI twips each

# tw PIXELS: that many pixels in twips, as the program writes them ("3375", "2497.5").
tw() { awk -v p="$1" -v d="$E2E_DPI" 'BEGIN { printf "%.9g", p * 1440 / d }'; }
# px TWIPS: the pixel a saved value puts a window at (to nearest, halves to even).
px() { awk -v t="$1" -v d="$E2E_DPI" 'BEGIN { printf "%.0f", t * d / 1440 }'; }

# ---- polling

# wait_for [-t SECONDS] CMD...: true as soon as CMD succeeds; false after the timeout.
wait_for() {
  local t=10
  [[ $1 == -t ]] && { t=$2; shift 2; }
  local end=$((SECONDS + t))
  while :; do
    "$@" && return 0
    ((SECONDS >= end)) && return 1
    sleep 0.1
  done
}

# holds SECONDS CMD...: CMD stays true for the whole time (for "nothing happens" checks).
holds() {
  local now=${EPOCHREALTIME/./} end
  end=$((now + $(awk "BEGIN { print int($1 * 1000000) }")))
  shift
  while ((${EPOCHREALTIME/./} < end)); do
    "$@" || return 1
    sleep 0.3
  done
}

# ms_since EPOCHREALTIME: the milliseconds since then.
ms_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%d", (b - a) * 1000 }'; }

# ---- screen and input

shot() { import -silent -window root -depth 8 "$E2E_SHOT"; }
# "r,g,b" at desktop point (x, y) of the last screenshot. Read from the file itself (its text
# header, ":" and ^Z, then 8-bit samples row by row): a convert for each look cost more CPU
# time than anything else the scenarios run.
pixel() {
  local x=$(($1 + DX)) y=$(($2 + DY)) head="" LC_ALL=C v columns=0
  IFS= read -r -d $'\x1a' head <"$E2E_SHOT"
  [[ $head =~ columns=([0-9]+) ]] && columns=${BASH_REMATCH[1]}
  if ((columns)) && [[ $head =~ depth=8[[:space:]] && $head == *matte=False* ]]; then
    read -r -a v <<<"$(od -An -tu1 -j $((${#head} + 1 + (y * columns + x) * 3)) -N3 "$E2E_SHOT")"
    echo "${v[0]},${v[1]},${v[2]}"
  else
    /usr/bin/convert "$E2E_SHOT" -format \
      "%[fx:round(255*p{$x,$y}.r)],%[fx:round(255*p{$x,$y}.g)],%[fx:round(255*p{$x,$y}.b)]" info:
  fi
}
# How many pixels of each colour the rectangle X Y W H of the last screenshot holds:
# "r,g,b count" lines, most first.
colours() {
  /usr/bin/convert "$E2E_SHOT" -crop "$3x$4+$(($1 + DX))+$(($2 + DY))" +repage -depth 8 \
    -format %c histogram:info:- |
    sed -nE 's/^ *([0-9]+): \( *([0-9]+), *([0-9]+), *([0-9]+).*/\2,\3,\4 \1/p' | sort -k2,2nr
}
colour_count() { colours "$@" | awk -v c="$5" '$1 == c { n = $2 } END { print n + 0 }'; }
pixel_is() { shot && [[ $(pixel "$1" "$2") == "$3" ]]; }
pixel_is_not() { shot && [[ $(pixel "$1" "$2") != "$3" ]]; }

# Input, in desktop coordinates; the short pauses let Wine see each step of a gesture.
click() { xdotool mousemove $(($1 + DX)) $(($2 + DY)) click "${3:-1}"; }
drag() {  # X1 Y1 X2 Y2
  xdotool mousemove $(($1 + DX)) $(($2 + DY)) mousedown 1
  sleep 0.2
  local i
  for i in 1 2 3 4; do
    xdotool mousemove $(($1 + ($3 - $1) * i / 4 + DX)) $(($2 + ($4 - $2) * i / 4 + DY))
    sleep 0.1
  done
  xdotool mouseup 1
}
key() { xdotool key "$@"; }
far() {  # RGB1 RGB2: more than 24 apart in some channel
  local IFS=, a b i
  read -ra a <<<"$1"
  read -ra b <<<"$2"
  for i in 0 1 2; do ((${a[i]} - ${b[i]} > 24 || ${b[i]} - ${a[i]} > 24)) && return 0; done
  return 1
}

# ---- several monitors (E2E_MONITORS=1): instead of Xvfb, an Xorg server with the dummy
# driver, whose two outputs xrandr switches on and places. Wine sees them as two
# monitors (Xvfb with Xinerama shows it only the first); Qt reads them from RandR.

E2E_MONITORS=${E2E_MONITORS:-0}
E2E_XORG=""  # its process
monitors_start() {
  local fd_file=$E2E_ART/$E2E_NAME-display
  rm -f "$fd_file"
  Xorg -displayfd 3 -config "$E2E_ROOT/tests/e2e/xorg-dummy.conf" -noreset -nolisten tcp \
    -logfile "$E2E_ART/$E2E_NAME-xorg.log" 3>"$fd_file" >/dev/null 2>&1 9>&- &
  E2E_XORG=$!
  wait_for -t 30 eval '[[ -s $fd_file ]]' || { log "Xorg did not start (see $E2E_NAME-xorg.log)"; return 1; }
  export DISPLAY=:$(head -n1 "$fd_file")
  xrandr --newmode zv1024 63.50 1024 1072 1176 1328 768 771 775 798 -hsync +vsync &&
    xrandr --addmode DUMMY0 zv1024 && xrandr --addmode DUMMY1 zv1024 && layout alone
}
monitors_stop() {
  [[ -n $E2E_XORG ]] && kill "$E2E_XORG" 2>/dev/null && wait "$E2E_XORG" 2>/dev/null
  E2E_XORG=""
}
# layout NAME: the primary monitor (1024x768) alone, or with a second one of its size
# left of it or above it. The program's (0, 0) is the primary's corner, at (DX, DY) on
# the X screen.
layout() {
  local second n=2
  case $1 in
    left) second=(--output DUMMY1 --mode zv1024 --pos 0x0) DX=1024 DY=0 ;;
    above) second=(--output DUMMY1 --mode zv1024 --pos 0x0) DX=0 DY=768 ;;
    alone) second=(--output DUMMY1 --off) DX=0 DY=0 n=1 ;;
  esac
  xrandr --output DUMMY0 --mode zv1024 --pos "${DX}x$DY" --primary "${second[@]}" &&
    wait_for eval '[[ $(xrandr --listactivemonitors | head -n1) == "Monitors: $n" ]]' ||
    { fail "xrandr could not make the layout $1"; return 1; }
  # Wine learns of a new layout a little later, on a busy machine in more than one step: wait
  # until processes started now see it, and go on seeing it for a second.
  [[ $E2E_BACKEND != wine ]] || wait_for -t 30 eval 'wine_layout_is $n && holds 1 wine_layout_is $n' ||
    { fail "Wine did not take the layout $1"; return 1; }
}
wine_layout_is() {  # MONITORS: as a process started now sees them, with DX and DY
  [[ $(wine "$E2E_PROBE" monitors 2>/dev/null 9>&- | tr -d "\r") == "$1 $((-DX)) $((-DY))" ]]
}

# ---- pictures: made by the first script, kept for the next ones while the way they are
# made (make_pictures_now, the backend's long-path limit) stays the same

MASK="0,128,0"
DESKTOP_RGB=""  # the desktop background, read from the screen
make_pictures() {
  local stamp
  stamp=$E2E_PICS/.made-$({ declare -f make_pictures_now path_length host_path; echo "$LONG_MAX $E2E_PICS"; } |
    md5sum | cut -c1-16)
  if [[ -f $stamp ]]; then
    LONG_DIR=$(<"$stamp")
    return 0
  fi
  rm -rf "$E2E_PICS" && make_pictures_now && printf '%s' "$LONG_DIR" >"$stamp"
}
make_pictures_now() {
  mkdir -p "$E2E_PICS"
  local c=/usr/bin/convert g='rgb(0,128,0)'
  cd "$E2E_PICS" || return 1
  # a.bmp: mask green around an L of red and blue, so its outline is three bands.
  $c -size 160x100 "xc:$g" +antialias -fill 'rgb(200,0,0)' -draw 'rectangle 20,10 139,89' \
    -fill 'rgb(0,0,200)' -draw 'rectangle 100,60 149,94' BMP3:a.bmp &&
    $c -size 90x70 'xc:rgb(230,200,40)' -quality 95 b.jpg &&
    $c -size 50x40 "xc:$g" +antialias -fill 'rgb(250,250,0)' -draw 'rectangle 10,10 39,29' c.gif &&
    $c -size 48x48 'xc:rgb(128,0,128)' d.ico &&
    $c -size 64x32 'xc:rgb(0,200,200)' BMP3:E.BMP &&
    $c -size 40x40 'xc:rgb(200,0,0)' e.png && cp e.png e.jpeg &&
    $c -size 72x36 'xc:rgb(255,128,0)' BMP3:写真.bmp &&
    $c -size 1100x500 'xc:rgb(0,160,160)' BMP3:wide.bmp &&
    $c -size 160x100 "xc:$g" -fill 'rgb(200,0,0)' -draw 'rectangle 20,10 139,89' -quality 75 f.jpg &&
    $c -size 160x100 "xc:$g" -fill 'rgb(200,0,0)' -draw 'rectangle 20,10 139,89' \
      -fill 'rgb(0,129,0)' -draw 'point 8,92' BMP3:g.bmp &&
    printf 'not a picture\n' >broken.bmp &&
    # anim.gif: a red disk, then a blue square, 300 ms each, see-through around them.
    $c -delay 30 -dispose Background -size 120x120 xc:none -fill 'rgb(255,0,0)' \
      -draw 'circle 60,60 60,10' \( -size 120x120 xc:none -fill 'rgb(0,0,255)' \
      -draw 'rectangle 30,30 89,89' \) -loop 0 anim.gif || { cd - >/dev/null; return 1; }
  # Nested folders until the picture's path (as path_length counts it) nears LONG_MAX.
  LONG_DIR=$E2E_PICS/long/
  local n=1
  while (($(path_length "$LONG_DIR") + 40 <= LONG_MAX)); do
    LONG_DIR+=$(printf 'folder-%02d-abcdefghijklmnopqrstuvwxyz01/' $((n++)))
  done
  mkdir -p "$LONG_DIR" && $c -size 30x60 'xc:rgb(0,0,255)' "BMP3:${LONG_DIR}l.bmp"
  cd - >/dev/null
}

# ---- groups

# group NAME FUNCTION: no program and no settings before; the program stopped after,
# which must go well too.
group() {
  local scaled=0
  [[ $1 == --scaled ]] && { scaled=1; shift; }
  local name=$1 t=$SECONDS
  shift
  if [[ $E2E_GROUPS == scaled ]] && ((!scaled)); then
    E2E_SKIPPED+=("$name")
    return 0
  fi
  settings_clear
  log "--- $name"
  local ok=0
  "$@" && ok=1
  stop_program || ok=0
  if ((ok)); then
    E2E_PASSED+=("$name ($((SECONDS - t)) s)")
  else
    E2E_FAILED+=("$name")
  fi
}

e2e_end() {
  local n
  for n in "${E2E_PASSED[@]}"; do log "PASS $n"; done
  for n in "${E2E_SKIPPED[@]}"; do log "SKIP $n (the same at any scale)"; done
  for n in "${E2E_FAILED[@]}"; do log "FAIL $n"; done
  ((${#E2E_FAILED[@]} == 0))
}

# ---- words the scenarios use, over the backend's

pic() { host_path "$E2E_PICS/$1"; }
picture_hidden() { ! picture_visible; }
picture_at() { [[ $(picture_geometry) == "$1" ]]; }
picture_top_is() { [[ $(picture_top) == "$1" ]]; }
picture_shape_is() { [[ $(picture_shape) == "$1" ]]; }
# The number of bands in the picture's outline, where the backend can see them.
expect_bands() {
  local n
  n=$(picture_bands)
  [[ -z $n ]] || expect_eq "outline bands" "$1" "$n"
}
gone() { ! alive; }
menu_closed() { ! menu_open; }
no_msgbox() { ! msgbox_up; }
no_dialog() { ! dialog_up; }
open_dialog_gone() { ! open_dialog_up; }

# Opens the menu with a right click on the picture at desktop point (x, y).
menu_at() {
  click "$1" "$2" 3
  wait_for menu_open || fail "no menu after a right click at $1,$2"
}
# Opens the menu at (x, y) and checks its corner is at the mouse.
menu_here() {
  menu_at "$1" "$2" || return 1
  local g
  read -r -a g <<<"$(menu_geometry)"
  expect_eq "menu corner" "$1 $2" "${g[0]} ${g[1]}"
}
# The colours on screen over the picture a.bmp at (x, y): its red and blue pixels
# one to one, and "MASK" mask-green ones (none where the outline cuts them away).
expect_a_drawn() {  # X Y MASK
  wait_for pixel_is $(($1 + 30)) $(($2 + 20)) "200,0,0" ||
    { fail "picture not drawn: $(pixel $(($1 + 30)) $(($2 + 20)))"; return 1; }
  expect_eq "red, blue, mask-green pixels" "8400 1750 $3" \
    "$(colour_count "$1" "$2" 160 100 200,0,0) $(colour_count "$1" "$2" 160 100 0,0,200) $(colour_count "$1" "$2" 160 100 "$MASK")"
}
# Picks an item by its accelerator and waits for the menu to close.
pick() {
  key "$1"
  wait_for menu_closed || fail "the menu stayed open after '$1'"
}
# Picks the first (P) or last (E) item with the mouse, from the menu's place: the rows
# are evenly laid out, 12 px of 152 from either end.
click_item() {  # first|last
  local g y
  read -r -a g <<<"$(menu_geometry)"
  if [[ $1 == first ]]; then y=$((g[1] + g[3] * 12 / 152)); else y=$((g[1] + g[3] - g[3] * 12 / 152)); fi
  click $((g[0] + 40)) "$y"
  wait_for menu_closed || fail "the menu stayed open after a click on its $1 item"
}
# Clicks Exit, the last item of the open menu, and prints the milliseconds until the process
# ended (10 s at most), watched through /proc: cheap enough to time the exit closely.
# The tray menu opened, timed: MENU_MS gets the milliseconds from the right-click to the menu
# seen (checked without pause, so that the figure is the program's and not the polling's).
# As menu_from_tray, a second click when the first opened nothing (the figure is then the
# second's, and says so). Not in a subshell: the Wine backend's probe keeps count of its
# requests.
timed_menu_from_tray() {
  tray_shown || { fail "no tray icon to click"; return 1; }
  local try end
  for try in 1 2; do
    end=$((SECONDS + 4))
    tray_right_click
    until menu_open; do ((SECONDS < end)) || continue 2; done
    MENU_MS=$(ms_since "$CLICKED_AT")
    ((try == 1)) || MENU_MS+=" (second click)"
    return 0
  done
  fail "no menu after two right clicks on the tray icon"
  return 1
}
exit_from_menu() {
  local g proc=$PID t0 end
  [[ $E2E_BACKEND == wine ]] && proc=$(unix_pid 2>/dev/null)
  read -r -a g <<<"$(menu_geometry)"
  t0=$EPOCHREALTIME
  click $((g[0] + 40)) $((g[1] + g[3] - g[3] * 12 / 152))
  end=$((SECONDS + 10))
  while [[ -r /proc/$proc/stat && $(awk '{ print $3 }' "/proc/$proc/stat" 2>/dev/null) != Z ]] &&
    ((SECONDS < end)); do sleep 0.02; done
  ms_since "$t0"
}
# The screen where the tray icon is, saved to FILE (to compare before and after).
tray_snapshot() {
  shot && /usr/bin/convert "$E2E_SHOT" -crop 300x24+$((TRAY_X + DX - 290))+$((TRAY_Y + DY - 12)) \
    +repage "$1"
}

source "$E2E_ROOT/tests/e2e/$E2E_BACKEND/lib.sh" || exit 1
