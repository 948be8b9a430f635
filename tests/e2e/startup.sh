#!/usr/bin/env bash
# Startup from saved settings of each kind, a second start, and a saved picture that
# cannot be loaded.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The picture window matches "x y w h", top=, rgn= and the region's box and band count.
expect_picture() {  # "X Y W H" TOP RGN BOX RECTS
  local l
  wait_for picture_visible || { fail "no picture window"; return 1; }
  l=$(win ZorvanePicture)
  expect_eq "picture x y w h" "$1" "$(geometry ZorvanePicture)" &&
    expect_eq "topmost" "$2" "$(field "$l" top)" &&
    expect_eq "window region" "$3" "$(field "$l" rgn)" &&
    expect_eq "region box" "$4" "$(field "$l" box)" &&
    expect_eq "region rectangles" "$5" "$(field "$l" rects)"
}

transparent_topmost() {
  settings_write "Save=$(pic a.bmp)" Left=4500 Top=3000 Scale=True Always=1
  start_program || return 1
  expect_picture "300 200 160 100" 1 1 "20,10,150,95" 3 || return 1
  # The mask-green corner shows the desktop; the picture itself is drawn.
  wait_for pixel_is 330 220 "200,0,0" || { fail "picture not drawn: $(pixel 330 220)"; return 1; }
  expect_eq "mask spot" "$DESKTOP_RGB" "$(pixel 305 205)" || return 1
  wait_for tray_shown || { fail "no tray icon"; return 1; }

  # A second start exits at once and leaves the first, its icon and the settings alone.
  local before windows saved out
  before=$(probe list --pid "$PID" | sed 's/ fg=[01]//')
  settings_read && saved=$(declare -p SETTINGS)
  shot && /usr/bin/convert "$E2E_SHOT" -crop 300x20+$((DX + 724))+$((DY + 748)) +repage "$E2E_ART/$E2E_NAME-tray1.png"
  # Into a file: the started process may hold a pipe open after the probe has ended.
  probe run 20000 "\"$(winpath "$E2E_EXE")\"" >"$E2E_ART/$E2E_NAME-run.txt"
  out=$(<"$E2E_ART/$E2E_NAME-run.txt")
  [[ $out =~ ^exit=0\ ms=([0-9]+) ]] || { fail "the second start did not end: [$out]"; return 1; }
  ((BASH_REMATCH[1] < 10000)) || { fail "the second start took ${BASH_REMATCH[1]} ms"; return 1; }
  expect_eq "program windows after a second start" "$before" "$(probe list --pid "$PID" | sed 's/ fg=[01]//')" &&
    expect_eq "host windows" 1 "$(probe list --class ZorvaneHost | grep -c .)" || return 1
  settings_read && expect_eq "settings after a second start" "$saved" "$(declare -p SETTINGS)" || return 1
  shot && /usr/bin/convert "$E2E_SHOT" -crop 300x20+$((DX + 724))+$((DY + 748)) +repage "$E2E_ART/$E2E_NAME-tray2.png"
  expect_eq "tray pixels differing after a second start" 0 \
    "$(compare -metric AE "$E2E_ART/$E2E_NAME-tray1.png" "$E2E_ART/$E2E_NAME-tray2.png" null: 2>&1)"
}

plain_not_topmost() {
  settings_write "Save=$(pic a.bmp)" Left=1500 Top=7500 Scale=False Always=0
  start_program || return 1
  expect_picture "100 500 160 100" 0 0 "0,0,0,0" 0 || return 1
  # Transparent off: the mask green is drawn as it is.
  wait_for pixel_is 105 505 "$MASK" || { fail "mask spot: expected $MASK, seen $(pixel 105 505)"; return 1; }
}

# Only the path saved: Transparent on, not topmost, the window where it starts out.
path_only() {
  settings_write "Save=$(pic c.gif)"
  start_program || return 1
  expect_picture "139 78 50 40" 0 1 "10,10,40,30" 1 || return 1
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
