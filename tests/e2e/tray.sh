#!/usr/bin/env bash
# First start without saved settings: a tray icon and no picture; the tray icon's menu.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

first_start() {
  start_program || return 1
  wait_for tray_shown || { fail "no tray icon after the first start"; return 1; }
  picture_hidden || { fail "a picture is shown without saved settings"; return 1; }

  click $TRAY_X $TRAY_Y 1
  holds 1.5 eval 'menu_closed && no_dialog && picture_hidden' ||
    { fail "a left click on the tray icon did something"; return 1; }

  # The menu opens at (screen width - 10, height - 10), kept on the screen.
  menu_from_tray || return 1
  local l
  l=$(probe list --class '#32768' | grep ' vis=1 ')
  expect_eq "menu owner" "$PID" "$(field "$l" pid)" &&
    expect_near "menu right edge" $((TRAY_X)) $(($(field "$l" x) + $(field "$l" w))) 12 &&
    expect_near "menu bottom edge" $((TRAY_Y)) $(($(field "$l" y) + $(field "$l" h))) 12 || return 1
  # Closed by a click elsewhere, with nothing chosen.
  click 400 300
  wait_for menu_closed || { fail "the tray menu did not close on a click elsewhere"; return 1; }
  holds 1 eval 'no_dialog && picture_hidden' || { fail "closing the menu chose something"; return 1; }
  ! settings_read || { fail "settings written without a save"; return 1; }

  # Its keys work too: a for About.
  menu_from_tray && pick a || return 1
  wait_for msgbox_up || { fail "no About box after a on the tray menu"; return 1; }
  expect_eq "About text" "$E2E_TITLE - written by the Zorvane developers." "$(msgbox_text)" &&
    msgbox_ok || return 1

  # Exit from the tray menu ends the process and takes the icon away.
  menu_from_tray && click_item last || return 1
  wait_for gone || { fail "Exit did not end the process"; return 1; }
  wait_for tray_empty || { fail "the tray icon stayed after Exit"; return 1; }
}

e2e_begin
group "first start: tray icon only, its menu, Exit" first_start
e2e_end
