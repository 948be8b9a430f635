#!/usr/bin/env bash
# An animated GIF plays on the desktop: both of its frames show at one point, with
# Transparent on the desktop shows where the current frame is see-through, hidden it
# neither draws nor costs any CPU time, and frames slow to prepare hold nothing up.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# anim.gif (120 x 120) at (300, 200): the disk's centre is in both frames; its top is in
# the disk only, so it is see-through while the square shows.
CENTRE=(360 260)
TOP=(360 215)

# seen_at X Y COLOUR...: each colour shows at (x, y) within two seconds.
seen_at() {
  local x=$1 y=$2 c
  shift 2
  for c in "$@"; do
    # Frames change every 300 ms: on a busy machine a screenshot can take longer than that.
    wait_for -t 6 pixel_is "$x" "$y" "$c" || { fail "never $c at $x,$y: $(pixel "$x" "$y")"; return 1; }
  done
}

plays() {
  settings_write "Save=$(pic anim.gif)" "Left=$(tw 300)" "Top=$(tw 200)" Scale=False Always=1
  start_program && wait_for picture_visible || { fail "no picture"; return 1; }
  expect_eq "picture x y w h" "300 200 120 120" "$(picture_geometry)" || return 1
  seen_at "${CENTRE[@]}" 255,0,0 0,0,255 0,0,255 255,0,0 || return 1
  # Transparent off: the whole rectangle, mask green where the square leaves the disk.
  seen_at "${TOP[@]}" 255,0,0 "$MASK" || return 1
  local before
  before=$(cpu_ticks) && sleep 3 && log "CPU time while playing for 3 s: $(($(cpu_ticks) - before)) ticks"
  expect_eq "picture x y w h, playing" "300 200 120 120" "$(picture_geometry)"
}

transparent_follows_each_frame() {
  settings_write "Save=$(pic anim.gif)" "Left=$(tw 300)" "Top=$(tw 200)" Scale=True Always=1
  start_program && wait_for picture_visible || { fail "no picture"; return 1; }
  seen_at "${TOP[@]}" 255,0,0 "$DESKTOP_RGB" 255,0,0 || return 1
  seen_at "${CENTRE[@]}" 0,0,255 255,0,0 || return 1
  # The corner is see-through in both frames.
  holds 1 pixel_is 302 202 "$DESKTOP_RGB" || { fail "the corner shows: $(pixel 302 202)"; return 1; }
  expect_eq "picture x y w h" "300 200 120 120" "$(picture_geometry)"
}

hidden_costs_nothing() {
  settings_write "Save=$(pic anim.gif)" "Left=$(tw 300)" "Top=$(tw 200)" Scale=True Always=1
  start_program && wait_for picture_visible || { fail "no picture"; return 1; }
  activate_picture || return 1
  key alt+F4
  wait_for picture_hidden || { fail "Alt+F4 did not hide the picture"; return 1; }
  sleep 1
  local before after
  shot && /usr/bin/convert "$E2E_SHOT" "$E2E_ART/$E2E_NAME-hidden.png"
  before=$(cpu_ticks) || { fail "cannot read the program's CPU time"; return 1; }
  holds 3 eval 'shot && [[ $(pixel "${CENTRE[@]}") == "$DESKTOP_RGB" ]]' ||
    { fail "the hidden picture drew: $(pixel "${CENTRE[@]}")"; return 1; }
  after=$(cpu_ticks)
  log "CPU time while hidden for 3 s: $((after - before)) ticks"
  # One tick of slack: the process may answer the screenshots' X traffic.
  ((after - before <= 1)) || { fail "CPU time grew by $((after - before)) ticks while hidden"; return 1; }
  alive || { fail "the program ended"; return 1; }
  # The menu still answers, and change picture plays it again.
  menu_from_tray && click_item first || return 1
  open_choose "$(pic anim.gif)" || return 1
  wait_for picture_visible || { fail "change picture did not show it again"; return 1; }
  seen_at "${CENTRE[@]}" 255,0,0 0,0,255 || return 1
}

# Frames slow to prepare (ZORVANE_TEST_WORK_DELAY_MS holds each one back, as a damaged file or
# a slow disk would): the picture plays on at their pace; while one is awaited the menu opens,
# and Exit ends the program at once, the frame abandoned.
slow_frames() {
  settings_write "Save=$(pic anim.gif)" "Left=$(tw 300)" "Top=$(tw 200)" Scale=True Always=1
  ZORVANE_TEST_WORK_DELAY_MS=500 start_program && wait_for picture_visible ||
    { fail "no picture"; return 1; }
  seen_at "${CENTRE[@]}" 255,0,0 0,0,255 255,0,0 || return 1
  stop_program || return 1
  ZORVANE_TEST_WORK_DELAY_MS=60000 start_program && wait_for picture_visible ||
    { fail "no picture"; return 1; }
  seen_at "${CENTRE[@]}" 255,0,0 || return 1
  local menu_ms exit_ms
  timed_menu_from_tray || return 1
  menu_ms=$MENU_MS
  exit_ms=$(exit_from_menu)
  log "while a frame is awaited: menu opened in $menu_ms ms (click to menu seen), Exit ended the process in $exit_ms ms"
  gone || { fail "Exit did not end the process while a frame is awaited"; return 1; }
}

# thirty.gif: 200 x 200, 30 frames at 10 a second, anti-aliased on the mask green.
make_thirty() {  # FILE
  local args=() i
  for ((i = 0; i < 30; i++)); do
    args+=(\( -size 200x200 'xc:rgb(0,128,0)' -fill "hsl($((i * 12)),100%,50%)"
      -draw "circle $((40 + i * 4)),100 $((40 + i * 4)),30" \))
  done
  # Each frame has a few dozen colours: undithered, the GIF coder keeps them exact (the
  # mask green above all) and takes a second for all 30 frames instead of fifteen.
  /usr/bin/convert -delay 10 -dispose Background "${args[@]}" +dither -colors 255 -loop 0 "GIF:$1"
}

# The cost of thirty.gif, shaped with soft edges: the program's CPU time over
# E2E_COST_SECONDS (3; 10 for steadier figures) and its peak memory, logged as figures
# (no timing is asserted); that it keeps moving is.
cost_of_thirty_frames() {
  # Made once for both builds' runs.
  local made=$E2E_ROOT/build/e2e-thirty-$(declare -f make_thirty | md5sum | cut -c1-16).gif
  [[ -f $made ]] || { make_thirty "$made.$$" && mv "$made.$$" "$made"; } &&
    cp "$made" "$E2E_PICS/thirty.gif" || { fail "could not make thirty.gif"; return 1; }
  settings_write "Save=$(pic thirty.gif)" "Left=$(tw 300)" "Top=$(tw 200)" Scale=True Always=1
  start_program && wait_for picture_visible || { fail "no picture"; return 1; }
  sleep 2
  local before after first seconds=${E2E_COST_SECONDS:-3}
  before=$(cpu_ticks) || { fail "cannot read the program's CPU time"; return 1; }
  shot && first=$(pixel 345 300)
  sleep "$seconds"
  after=$(cpu_ticks)
  wait_for -t 2 pixel_is_not 345 300 "$first" || { fail "the picture stands still"; return 1; }
  log "30 frames at 10 fps, 200x200, shaped: $(awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" \
    'BEGIN { printf "%.2f", 100 * t / hz / s }') % of one core over $seconds s; peak memory $(peak_kb) KB"
}

e2e_begin
group "two frames play at one point, the window keeps its size" plays
group "Transparent: the outline follows each frame" transparent_follows_each_frame
group "hidden: nothing drawn, no CPU time; change picture plays again" hidden_costs_nothing
group "frames slow to prepare: it plays on, the menu answers, Exit ends at once" slow_frames
group "a 200x200, 30-frame GIF at 10 fps: CPU time and memory" cost_of_thirty_frames
e2e_end
