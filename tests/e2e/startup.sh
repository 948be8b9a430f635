#!/usr/bin/env bash
# Startup from saved settings of each kind, a second start, and a saved picture that
# cannot be loaded.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# The picture window matches "x y w h", its band, its outline's box and band count.
expect_picture() {  # "X Y W H" TOP SHAPE BANDS
  wait_for picture_visible || { fail "no picture window"; return 1; }
  expect_eq "picture x y w h" "$1" "$(picture_geometry)" &&
    expect_eq "on top" "$2" "$(picture_top)" &&
    expect_eq "outline box" "$3" "$(picture_shape)" &&
    expect_bands "$4"
}

transparent_topmost() {
  settings_write "Save=$(pic a.bmp)" "Left=$(tw 300)" "Top=$(tw 200)" Scale=True Always=1
  start_program || return 1
  expect_picture "300 200 160 100" 1 "20,10,150,95" 3 || return 1
  # The picture itself is drawn, unscaled; the mask-green corner shows the desktop.
  expect_a_drawn 300 200 0 || return 1
  expect_eq "mask spot" "$DESKTOP_RGB" "$(pixel 305 205)" || return 1
  if ((E2E_CAN_COVER)); then  # another window mapped over it stays below it
    cover_at 280 180
    wait_for pixel_is_not 290 190 "$DESKTOP_RGB" || { fail "the covering window is not drawn"; return 1; }
    expect_eq "picture under another window" "200,0,0" "$(pixel 330 220)" || return 1
    uncover
  fi
  wait_for tray_shown || { fail "no tray icon"; return 1; }

  # A second start exits at once and leaves the first, its icon and the settings alone.
  local before saved ms
  before=$(program_windows)
  settings_read && saved=$(declare -p SETTINGS)
  tray_snapshot "$E2E_ART/$E2E_NAME-tray1.png"
  ms=$(second_copy) || return 1
  log "the second start ended in $ms ms"
  ((ms < 10000)) || { fail "the second start took $ms ms"; return 1; }
  expect_eq "program windows after a second start" "$before" "$(program_windows)" || return 1
  settings_read && expect_eq "settings after a second start" "$saved" "$(declare -p SETTINGS)" || return 1
  tray_snapshot "$E2E_ART/$E2E_NAME-tray2.png"
  expect_eq "tray pixels differing after a second start" 0 \
    "$(compare -metric AE "$E2E_ART/$E2E_NAME-tray1.png" "$E2E_ART/$E2E_NAME-tray2.png" null: 2>&1)"
}

plain_not_topmost() {
  settings_write "Save=$(pic a.bmp)" "Left=$(tw 100)" "Top=$(tw 500)" Scale=False Always=0
  start_program || return 1
  expect_picture "100 500 160 100" 0 none 0 || return 1
  expect_a_drawn 100 500 5850 || return 1
  # Transparent off: the mask green is drawn as it is.
  wait_for pixel_is 105 505 "$MASK" || { fail "mask spot: expected $MASK, seen $(pixel 105 505)"; return 1; }
  if ((E2E_CAN_COVER)); then  # not on top: another window covers it
    cover_at 80 480
    wait_for pixel_is_not 130 520 "200,0,0" || { fail "not covered: $(pixel 130 520)"; return 1; }
  fi
}

# Only the path saved: Transparent on, not topmost, the window where it starts out.
path_only() {
  settings_write "Save=$(pic c.gif)"
  start_program || return 1
  # The window's own place, 2085 x 1170 twips.
  local x y
  x=$(px 2085) y=$(px 1170)
  expect_picture "$x $y 50 40" 0 "10,10,40,30" 1 || return 1
  wait_for pixel_is $((x + 1)) $((y + 1)) "$DESKTOP_RGB" || { fail "mask spot: $(pixel $((x + 1)) $((y + 1)))"; return 1; }
}

near_colour() { shot && ! far "$(pixel "$1" "$2")" "$3"; }  # X Y RGB, within 24 a channel

# A JPEG drawing on the mask green: its green, a few levels off after JPEG, is see-through too.
jpeg_transparent() {
  settings_write "Save=$(pic f.jpg)" "Left=$(tw 300)" "Top=$(tw 200)" Scale=True Always=1
  start_program || return 1
  wait_for picture_at "300 200 160 100" || { fail "picture: $(picture_geometry)"; return 1; }
  wait_for near_colour 330 220 "200,0,0" || { fail "JPEG not drawn: $(pixel 330 220)"; return 1; }
  expect_eq "JPEG background near the corner" "$DESKTOP_RGB" "$(pixel 305 205)" &&
    expect_eq "JPEG background beside the drawing" "$DESKTOP_RGB" "$(pixel 450 250)"
}

# In a BMP only the exact green is see-through: a pixel one level off it is the user's own.
bmp_exact() {
  settings_write "Save=$(pic g.bmp)" "Left=$(tw 300)" "Top=$(tw 200)" Scale=True Always=1
  start_program || return 1
  wait_for pixel_is 330 220 "200,0,0" || { fail "BMP not drawn: $(pixel 330 220)"; return 1; }
  expect_eq "the pixel one level off the green" "0,129,0" "$(pixel 308 292)" &&
    expect_eq "the green beside it" "$DESKTOP_RGB" "$(pixel 310 292)" &&
    expect_eq "outline box" "8,10,140,93" "$(picture_shape)"
}

unloadable() {
  local missing
  missing=$(pic no-such-picture.bmp)
  settings_write "Save=$missing" "Left=$(tw 300)" "Top=$(tw 200)" Scale=True Always=1
  start_program || return 1
  wait_for msgbox_up || { fail "no message box for a picture that cannot be loaded"; return 1; }
  expect_eq "message boxes" 1 "$(msgbox_count)" &&
    expect_eq "icon" critical "$(msgbox_icon)" || return 1
  msgbox_text | grep -qF "$missing" || { fail "the message does not name $missing: $(msgbox_text)"; return 1; }
  msgbox_ok || return 1
  holds 1.5 eval 'no_msgbox && picture_hidden && alive' ||
    { fail "after the message: another box, a picture, or the program ended"; return 1; }
  wait_for tray_shown || { fail "no tray icon after the message"; return 1; }
  settings_read && expect_eq "saved path" "$missing" "${SETTINGS[Save]:-}"
}

e2e_begin
group --scaled "saved: transparent, always on top; second start" transparent_topmost
group --scaled "saved: transparent off, not on top" plain_not_topmost
group --scaled "saved: the path alone" path_only
group "saved: a JPEG on the mask green, transparent" jpeg_transparent
group "saved: a BMP keeps a pixel one level off the green" bmp_exact
group "saved picture that cannot be loaded" unloadable
e2e_end
