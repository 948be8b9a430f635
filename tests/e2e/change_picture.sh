#!/usr/bin/env bash
# Change picture through the Open dialog: accepted kinds, refused names, cancel, a file
# that cannot be read, a Japanese name and a long path.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

FILTER='ピクチャ (*.bmp;*.jpg;*.ico;*.gif)'
REFUSED='選択できる画像は BMP・JPG・ICO・GIFファイルのみです。'

# Where a right click hits the picture shown: the red of a.bmp, or near the corner of the
# smaller ones, all drawn there.
AT=(330 220)

start_with_a() {
  AT=(330 220)
  settings_write "Save=$(pic a.bmp)" Left=4500 Top=3000 Scale=True Always=1
  start_program && wait_for picture_top_is 1 || { fail "not started on top"; return 1; }
}

# Opens the dialog from the menu; the picture leaves the top band while it is up.
open_dialog() {
  menu_at "${AT[@]}" && pick p || return 1
  wait_for open_dialog_up || { fail "no Open dialog after p"; return 1; }
  expect_eq "on top while the dialog is up" 0 "$(picture_top)"
}

# The picture shown: "x y w h", its outline's box and bands; back on top afterwards.
expect_shown() {  # "X Y W H" SHAPE BANDS
  wait_for picture_at "$1" ||
    { fail "picture: expected [$1], seen [$(picture_geometry)]"; return 1; }
  picture_visible || { fail "the picture is not shown"; return 1; }
  expect_eq "outline box" "$2" "$(picture_shape)" && expect_bands "$3" || return 1
  wait_for picture_top_is 1 || fail "not back on top"
}
change_to() {  # PATH "X Y W H" SHAPE BANDS
  open_dialog && open_choose "$1" && expect_shown "$2" "$3" "$4" && AT=(310 210)
}

# A critical message; after OK the old picture is still there, back on top.
expect_refusal() {  # TEXT-PATTERN
  wait_for msgbox_up || { fail "no message box"; return 1; }
  local text
  text=$(msgbox_text)
  [[ $text == *"$1"* ]] || { fail "message: expected [$1] in [$text]"; return 1; }
  expect_eq "message icon" critical "$(msgbox_icon)" || return 1
  msgbox_ok || return 1
  expect_shown "300 200 160 100" "20,10,150,95" 3 &&
    wait_for pixel_is 330 220 "200,0,0" || { fail "the old picture is not drawn"; return 1; }
}

saved_path_is() { settings_read && [[ ${SETTINGS[Save]-} == "$1" ]]; }
save_and_expect() {  # PATH
  menu_at "${AT[@]}" && pick s || return 1
  wait_for saved_path_is "$1" ||
    { fail "saved path: expected [$1], seen [${SETTINGS[Save]-}]"; return 1; }
}

accepted_kinds() {
  start_with_a || return 1
  open_dialog || return 1
  local filter
  filter=$(open_dialog_filter)
  [[ -z $filter ]] || expect_eq "filter" "$FILTER" "$filter" || return 1
  open_choose "$(pic b.jpg)" && expect_shown "300 200 90 70" "0,0,90,70" 1 || return 1
  AT=(310 210)
  change_to "$(pic c.gif)" "300 200 50 40" "10,10,40,30" 1 &&
    change_to "$(pic d.ico)" "300 200 48 48" "0,0,48,48" 1 &&
    change_to "$(pic E.BMP)" "300 200 64 32" "0,0,64,32" 1 || return 1
  wait_for pixel_is 310 210 "0,200,200" || { fail "E.BMP not drawn: $(pixel 310 210)"; return 1; }
  save_and_expect "$(pic E.BMP)"
}

refused_cancelled_unreadable() {
  start_with_a || return 1
  open_dialog && open_choose "$(pic e.png)" && expect_refusal "$REFUSED" || return 1
  open_dialog && open_choose "$(pic e.jpeg)" && expect_refusal "$REFUSED" || return 1
  open_dialog || return 1
  key Escape
  wait_for open_dialog_gone || { fail "Escape left the Open dialog up"; return 1; }
  holds 1 no_dialog || { fail "a message after cancel"; return 1; }
  expect_shown "300 200 160 100" "20,10,150,95" 3 || return 1
  open_dialog && open_choose "$(pic broken.bmp)" && expect_refusal "$(pic broken.bmp)" || return 1
  save_and_expect "$(pic a.bmp)"
}

japanese_and_long() {
  start_with_a || return 1
  change_to "$(pic 写真.bmp)" "300 200 72 36" "0,0,72,36" 1 &&
    save_and_expect "$(pic 写真.bmp)" || return 1
  local long
  long=$(host_path "$LONG_DIR")l.bmp
  ((${#long} > LONG_MAX - 50)) || { fail "the long path has only ${#long} characters"; return 1; }
  change_to "$long" "300 200 30 60" "0,0,30,60" 1 &&
    save_and_expect "$long"
}

e2e_begin
group "accepted: JPG, GIF, ICO, upper-case BMP; save" accepted_kinds
group "refused names, cancel, unreadable file" refused_cancelled_unreadable
group "Japanese file name, long path" japanese_and_long
e2e_end
