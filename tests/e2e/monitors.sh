#!/usr/bin/env bash
# Two monitors: a place saved on the one left of or above the primary (negative twips)
# comes back exactly; the menu opens at the mouse there and a drag there is saved; with
# that monitor gone the picture comes into the primary's work area; the tray menu keeps
# the primary's corner.
E2E_MONITORS=1
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

saved_place_is() { settings_read && [[ "${SETTINGS[Left]-} ${SETTINGS[Top]-}" == "$1" ]]; }

left_of_the_primary() {
  layout left || return 1
  settings_write "Save=$(pic a.bmp)" "Left=$(tw -700)" "Top=$(tw 100)" Scale=True Always=1
  start_program && wait_for picture_at "-700 100 160 100" ||
    { fail "not at the saved place: [$(picture_geometry)]"; return 1; }
  expect_a_drawn -700 100 0 || return 1
  menu_here -670 130 && key Escape && wait_for menu_closed || return 1

  drag -670 130 -420 330
  wait_for picture_at "-450 300 160 100" ||
    { fail "after a drag by 250,200: expected [-450 300 160 100], seen [$(picture_geometry)]"; return 1; }
  menu_here -420 330 && pick s || return 1
  wait_for saved_place_is "$(tw -450) $(tw 300)" ||
    { fail "saved place: expected [$(tw -450) $(tw 300)], seen [${SETTINGS[Left]-} ${SETTINGS[Top]-}]"; return 1; }
  menu_at -420 330 && pick e && wait_for gone || { fail "Exit did not end the process"; return 1; }
  start_program && wait_for picture_at "-450 300 160 100" ||
    { fail "after restart: expected [-450 300 160 100], seen [$(picture_geometry)]"; return 1; }
}

above_the_primary() {
  layout above || return 1
  settings_write "Save=$(pic a.bmp)" "Left=$(tw 200)" "Top=$(tw -600)" Scale=True Always=0
  start_program && wait_for picture_at "200 -600 160 100" ||
    { fail "not at the saved place: [$(picture_geometry)]"; return 1; }
  expect_a_drawn 200 -600 0 && menu_here 230 -570 && key Escape && wait_for menu_closed
}

# Saved on a monitor that is gone: moved into the primary's work area, whole where it
# fits, its left edge at the area's where it is wider. (Not higher too: Wine takes a
# window over a whole monitor for a full-screen one, which the window manager fits to
# the monitor.)
monitor_removed() {  # PICTURE LEFT TOP EXPECTED
  layout alone || return 1
  settings_write "Save=$(pic "$1")" "Left=$(tw "$2")" "Top=$(tw "$3")" Scale=True Always=0
  start_program && wait_for picture_at "$4" ||
    { fail "saved at $2,$3: expected [$4], seen [$(picture_geometry)]"; return 1; }
  stop_program
}
monitors_removed() {
  monitor_removed a.bmp -700 100 "0 100 160 100" &&
    monitor_removed a.bmp 200 -600 "200 0 160 100" &&
    monitor_removed a.bmp -1000 -700 "0 0 160 100" &&
    monitor_removed wide.bmp -1100 100 "0 100 1100 500"
}

# The tray's menu opens in the primary monitor's lower right corner, not on the other one.
tray_corner() {
  layout left || return 1
  settings_write "Save=$(pic a.bmp)" "Left=$(tw -700)" "Top=$(tw 100)"
  start_program && wait_for tray_shown || { fail "no tray icon"; return 1; }
  menu_from_tray || return 1
  local g
  read -r -a g <<<"$(menu_geometry)"
  # At (1014, 758), or moved up and left onto the screen.
  ((g[0] >= 0 && g[1] >= 0 && g[0] + g[2] <= 1024 && g[1] + g[3] <= 768 &&
    g[0] + g[2] >= 1014 && g[1] + g[3] >= 758)) ||
    { fail "tray menu at [${g[*]}], not in the primary's corner"; return 1; }
  click -670 130  # a click elsewhere closes it (the keyboard may be with the tray)
  wait_for menu_closed || fail "the tray menu stayed open after a click elsewhere"
}

e2e_begin
group "a monitor left of the primary: place, menu, drag, save, restart" left_of_the_primary
group "a monitor above the primary: place and menu" above_the_primary
group "the monitor of the saved place is gone" monitors_removed
group "the tray menu in the primary's corner" tray_corner
e2e_end
