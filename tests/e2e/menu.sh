#!/usr/bin/env bash
# The command menu on the picture: where it opens, its accelerator keys, save and
# restart, Help and About, Exit.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

HELP_TEXT='タスクトレイにあるｱｲｺﾝまたは
表示されている画像を右クリックし、
表示したい画像(*.BMP *.JPG *.ICO *.GIF 等)を 
選択するだけです！'
ABOUT_TEXT='Zorvane Ver1.1 - written by the Zorvane developers.'

choose() { menu_here 330 220 && pick "$1"; }

saved_values() {
  settings_read && echo "${SETTINGS[Save]-} ${SETTINGS[Left]-} ${SETTINGS[Top]-} ${SETTINGS[Scale]-} ${SETTINGS[Always]-}"
}
saved_are() { [[ $(saved_values) == "$1" ]]; }
# The settings hold these values, once a save has written them (the file holds the
# values of before until then).
expect_saved() {  # Save Left Top Scale Always
  wait_for saved_are "$*" || { fail "saved values: expected [$*], seen [$(saved_values)]"; return 1; }
}

exit_program() {
  choose e || return 1
  wait_for gone || { fail "Exit did not end the process"; return 1; }
  wait_for tray_empty || { fail "the tray icon stayed after Exit"; return 1; }
}

toggles_save_restart() {
  settings_write "Save=$(pic a.bmp)" "Left=$(tw 300)" "Top=$(tw 200)" Scale=True Always=1
  start_program && wait_for picture_top_is 1 || { fail "not started on top"; return 1; }

  # Escape closes the menu and changes nothing.
  menu_here 330 220 || return 1
  key Escape
  wait_for menu_closed || { fail "Escape left the menu open"; return 1; }
  holds 1 eval 'picture_top_is 1 && picture_shape_is 20,10,150,95 && no_dialog' ||
    { fail "Escape chose something"; return 1; }

  # t and w each toggle, back and forth.
  choose t && wait_for picture_top_is 0 || { fail "t did not leave the top band"; return 1; }
  choose t && wait_for picture_top_is 1 || { fail "t did not come back on top"; return 1; }
  choose t && wait_for picture_top_is 0 || { fail "t did not leave the top band again"; return 1; }
  choose w && wait_for picture_shape_is none || { fail "w kept the outline"; return 1; }
  wait_for pixel_is 305 205 "$MASK" || { fail "Transparent off: mask spot $(pixel 305 205)"; return 1; }
  choose w && wait_for picture_shape_is 20,10,150,95 || { fail "w did not cut the outline again"; return 1; }
  wait_for pixel_is 305 205 "$DESKTOP_RGB" || { fail "Transparent on: mask spot $(pixel 305 205)"; return 1; }
  choose w && wait_for picture_shape_is none || { fail "w kept the outline again"; return 1; }
  # Nothing is written until the save.
  expect_saved "$(pic a.bmp) $(tw 300) $(tw 200) True 1" || return 1

  choose s && expect_saved "$(pic a.bmp) $(tw 300) $(tw 200) False 0" || return 1
  exit_program || return 1

  start_program || return 1
  wait_for picture_visible && expect_eq "restored" "300 200 160 100 top=0 shape=none" \
    "$(picture_geometry) top=$(picture_top) shape=$(picture_shape)" || return 1
  # Both on again, chosen from a menu opened elsewhere on the picture.
  menu_here 420 280 && pick t && wait_for picture_top_is 1 || { fail "t from the blue part"; return 1; }
  menu_here 420 280 && pick w && wait_for picture_shape_is 20,10,150,95 ||
    { fail "w from the blue part"; return 1; }
  choose s && expect_saved "$(pic a.bmp) $(tw 300) $(tw 200) True 1"
}

# The message comes up with the picture out of the top band; after OK it goes back
# to the band the option names.
message() {  # KEY TEXT ICON TOP_AFTER
  choose "$1" || return 1
  wait_for msgbox_up || { fail "no message box after $1"; return 1; }
  expect_eq "on top while the message is up" 0 "$(picture_top)" &&
    expect_eq "message text" "$2" "$(msgbox_text)" &&
    expect_eq "message icon" "$3" "$(msgbox_icon)" || return 1
  msgbox_ok && wait_for picture_top_is "$4" || { fail "on top after OK: expected $4"; return 1; }
}

help_about_exit() {
  settings_write "Save=$(pic a.bmp)" "Left=$(tw 300)" "Top=$(tw 200)" Scale=True Always=1
  start_program && wait_for picture_top_is 1 || { fail "not started on top"; return 1; }
  message h "$HELP_TEXT" info 1 &&
    message a "$ABOUT_TEXT" none 1 || return 1
  choose t && wait_for picture_top_is 0 || { fail "t did not leave the top band"; return 1; }
  message h "$HELP_TEXT" info 0 &&
    message a "$ABOUT_TEXT" none 0 || return 1
  exit_program
}

e2e_begin
group --scaled "menu at the mouse; t, w, save; restart restores" toggles_save_restart
group "Help, About and the band afterwards; Exit" help_about_exit
e2e_end
