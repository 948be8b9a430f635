#!/usr/bin/env bash
# A left-button drag on the picture moves its window; saved and restarted, it comes
# back where it was dropped.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

saved_place_is() { settings_read && [[ "${SETTINGS[Left]-} ${SETTINGS[Top]-}" == "$1" ]]; }

drag_save_restart() {
  settings_write "Save=$(pic a.bmp)" "Left=$(tw 300)" "Top=$(tw 200)" Scale=True Always=1
  start_program && wait_for picture_at "300 200 160 100" || { fail "not at the saved place"; return 1; }

  # A drag that starts on a see-through spot reaches the desktop, not the picture.
  drag 305 205 355 255
  holds 1 picture_at "300 200 160 100" || { fail "a drag on a see-through spot moved the picture"; return 1; }

  drag 330 220 480 370
  wait_for picture_at "450 350 160 100" ||
    { fail "after a drag by 150,150: expected [450 350 160 100], seen [$(picture_geometry)]"; return 1; }
  menu_at 480 370 && pick s || return 1
  wait_for saved_place_is "$(tw 450) $(tw 350)" ||
    { fail "saved place: expected [$(tw 450) $(tw 350)], seen [${SETTINGS[Left]-} ${SETTINGS[Top]-}]"; return 1; }
  menu_at 480 370 && pick e || return 1
  wait_for gone || { fail "Exit did not end the process"; return 1; }

  start_program && wait_for picture_at "450 350 160 100" ||
    { fail "after restart: expected [450 350 160 100], seen [$(picture_geometry)]"; return 1; }
}

e2e_begin
group --scaled "drag moves; save and restart restore the place" drag_save_restart
e2e_end
