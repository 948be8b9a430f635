#!/usr/bin/env bash
# Startup from saved settings of each kind, the band against another window, a second
# start, and a saved picture that cannot be loaded.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

expect_picture() {  # "X Y W H" TOP SHAPE
  wait_for picture_visible || { fail "no picture window"; return 1; }
  expect_eq "picture x y w h" "$1" "$(picture_geometry)" &&
    expect_eq "above others" "$2" "$(picture_top)" &&
    expect_eq "shape box" "$3" "$(picture_shape)"
}

transparent_topmost() {
  settings_write "Save=$(pic a.bmp)" Left=4500 Top=3000 Scale=True Always=1
  start_program || return 1
  expect_picture "300 200 160 100" 1 "20,10,130,85" || return 1
  # The mask-green corner shows the desktop; the picture itself is drawn.
  wait_for pixel_is 330 220 "200,0,0" || { fail "picture not drawn: $(pixel 330 220)"; return 1; }
  expect_eq "mask spot" "$DESKTOP_RGB" "$(pixel 305 205)" || return 1
  # Another window mapped over it stays below it.
  cover_at 280 180
  holds 1 pixel_is 330 220 "200,0,0" || { fail "covered while always on top: $(pixel 330 220)"; return 1; }
  wait_for pixel_is_not 290 190 "$DESKTOP_RGB" || { fail "the covering window is not drawn"; return 1; }
  uncover
  wait_for tray_shown || { fail "no tray icon"; return 1; }

  # A second start ends at once and leaves the first, its icon and the settings alone.
  local saved before t
  saved=$(<"$CONF")
  before=$(picture_geometry)
  t=${EPOCHREALTIME/./}
  timeout 10 "$E2E_EXE" >>"$E2E_ART/$E2E_NAME-program.log" 2>&1 ||
    { fail "the second start did not end by itself"; return 1; }
  t=$(((${EPOCHREALTIME/./} - t) / 1000))
  log "second start ended in $t ms"
  expect_eq "picture after a second start" "$before" "$(picture_geometry)" &&
    expect_eq "settings after a second start" "$saved" "$(<"$CONF")" || return 1
  expect_eq "icons in the tray" 1 "$(tray_icon_lines | grep -c .)" && alive
}

plain_not_topmost() {
  settings_write "Save=$(pic a.bmp)" Left=1500 Top=7500 Scale=False Always=0
  start_program || return 1
  expect_picture "100 500 160 100" 0 none || return 1
  # Transparent off: the mask green is drawn as it is.
  wait_for pixel_is 105 505 "$MASK" || { fail "mask spot: expected $MASK, seen $(pixel 105 505)"; return 1; }
  # Not on top: another window covers it.
  cover_at 80 480
  wait_for pixel_is 130 520 "$COVER_RGB" || { fail "not covered: $(pixel 130 520)"; return 1; }
}

# Only the path saved: Transparent on, not on top, the window where it starts out.
path_only() {
  settings_write "Save=$(pic c.gif)"
  start_program || return 1
  expect_picture "139 78 50 40" 0 "10,10,30,20" || return 1
  wait_for pixel_is 140 79 "$DESKTOP_RGB" || { fail "mask spot: $(pixel 140 79)"; return 1; }
}

unloadable() {
  local missing
  missing=$(pic no-such-picture.bmp)
  settings_write "Save=$missing" Left=4500 Top=3000 Scale=True Always=1
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
group "saved: transparent, always on top; second start" transparent_topmost
group "saved: transparent off, not on top" plain_not_topmost
group "saved: the path alone" path_only
group "saved picture that cannot be loaded" unloadable
e2e_end
