#!/usr/bin/env bash
# The window manager's close (Alt+F4) on the picture only hides it: the program and its
# tray menu go on, and changing the picture shows it again, still out of the taskbar.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

alt_f4_hides() {
  settings_write "Save=$(pic a.bmp)" Left=4500 Top=3000 Scale=True Always=1
  start_program && wait_for picture_visible || { fail "no picture"; return 1; }
  out_of_taskbar || return 1
  activate_picture || return 1
  key alt+F4
  wait_for picture_hidden || { fail "Alt+F4 did not hide the picture"; return 1; }
  holds 1 eval 'alive && picture_hidden && no_dialog' || { fail "the program ended or showed something"; return 1; }
  wait_for tray_shown || { fail "no tray icon with the picture hidden"; return 1; }

  # The tray menu still works: its first item changes the picture, which shows it again
  # where it was.
  menu_from_tray && click_item first || return 1
  open_choose "$(pic b.jpg)" || return 1
  wait_for picture_visible || { fail "change picture did not show the picture again"; return 1; }
  expect_eq "picture x y w h" "300 200 90 70" "$(picture_geometry)" &&
    wait_for picture_top_is 1 || { fail "not back on top"; return 1; }
  out_of_taskbar
}

# The picture is part of the program, not a window to switch to: no taskbar or pager entry
# (on Windows a tool window, which a taskbar leaves out by itself).
out_of_taskbar() {
  [[ $E2E_BACKEND == native ]] || return 0
  local state
  state=$(prop "$(picture_id)" _NET_WM_STATE)
  [[ $state == *_NET_WM_STATE_SKIP_TASKBAR* && $state == *_NET_WM_STATE_SKIP_PAGER* ]] ||
    { fail "the picture would have a taskbar or pager entry: $state"; return 1; }
}

e2e_begin
group "Alt+F4 hides; tray menu; change picture shows it again" alt_f4_hides
e2e_end
