# What both end-to-end suites share: failures and assertions, bounded polls, screen
# pixels, input, the test pictures, and the scenario groups. The sourcing library
# defines E2E_NAME, E2E_ART, E2E_PICS, E2E_SHOT, DX/DY (the desktop's place on the X
# screen), e2e_windows (a window list for failure reports), path_length, LONG_MAX,
# settings_clear and stop_program.
E2E_FAILED=()
E2E_PASSED=()
E2E_FAILS=0

log() { echo "[$E2E_NAME] $*"; }

# ---- failures

# Records a failure with the screen and the windows at that moment.
fail() {
  log "FAIL: $*"
  local tag=$E2E_ART/$E2E_NAME-fail-$((++E2E_FAILS))
  import -window root "$tag.png" 2>/dev/null && log "  screen: $tag.png"
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

# ---- screen and input

shot() { import -window root "$E2E_SHOT"; }
# "r,g,b" at desktop point (x, y) of the last screenshot.
pixel() {
  local x=$(($1 + DX)) y=$(($2 + DY))
  /usr/bin/convert "$E2E_SHOT" -format \
    "%[fx:round(255*p{$x,$y}.r)],%[fx:round(255*p{$x,$y}.g)],%[fx:round(255*p{$x,$y}.b)]" info:
}
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

# ---- pictures, made fresh for every script

MASK="0,128,0"
DESKTOP_RGB=""  # the desktop background, read from the screen
make_pictures() {
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
    printf 'not a picture\n' >broken.bmp || { cd - >/dev/null; return 1; }
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
  local name=$1 t=$SECONDS
  shift
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
  for n in "${E2E_FAILED[@]}"; do log "FAIL $n"; done
  ((${#E2E_FAILED[@]} == 0))
}
