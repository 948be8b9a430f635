#!/usr/bin/env bash
# First start without saved settings: a tray icon and no picture; the tray icon's menu.
# On Linux also the session's end, a tray that starts after the program, and no tray at all.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

first_start() {
  start_program || return 1
  wait_for tray_shown || { fail "no tray icon after the first start"; return 1; }
  picture_hidden || { fail "a picture is shown without saved settings"; return 1; }

  click "$TRAY_X" "$TRAY_Y" 1
  holds 1.5 eval 'menu_closed && no_dialog && picture_hidden' ||
    { fail "a left click on the tray icon did something"; return 1; }

  # The menu opens at (screen width - 10, height - 10), kept on the screen; how long it
  # takes with nothing loading is the measure for the slow load below.
  timed_menu_from_tray || return 1
  idle_ms=$MENU_MS
  local g
  read -r -a g <<<"$(menu_geometry)"
  expect_near "menu right edge" $((1024 - 10)) $((g[0] + g[2])) 12 &&
    expect_near "menu bottom edge" $((768 - 10)) $((g[1] + g[3])) 12 || return 1
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

# The session's end (SIGTERM, as on logout) takes the icon away too; a tray that
# starts after the program still gets its icon.
signal_and_late_tray() {
  start_program && wait_for tray_shown || { fail "no tray icon"; return 1; }
  kill -TERM "$PID"
  wait_for gone || { fail "SIGTERM did not end the program"; return 1; }
  wait_for tray_empty || { fail "the tray icon stayed after SIGTERM"; return 1; }

  tray_stop
  start_program_quietly
  holds 1 eval 'alive && picture_hidden' || { fail "the program did not wait for a tray"; return 1; }
  grep -q 'no system tray' "$E2E_ART/$E2E_NAME-program.log" ||
    { fail "nothing told the user there is no tray"; return 1; }
  # (With nothing to show and no tray, its menu opened in the middle of the screen.)
  wait_for menu_open && key Escape && wait_for menu_closed ||
    { fail "no menu to close at a start without a tray"; return 1; }
  tray_start || return 1
  wait_for tray_shown || { fail "no icon in a tray started after the program"; return 1; }
  # Its icon in the tray now, a second start opens nothing.
  second_copy >/dev/null && holds 1.5 menu_closed ||
    { fail "a second start opened the menu with the icon in a tray"; return 1; }
  menu_from_tray && pick e || return 1
  wait_for gone || fail "Exit did not end the process"
}

# Started at sign-in, the program may come before the taskbar, which refuses the icon:
# it is offered again until taken, and at once when the taskbar announces itself. Meanwhile
# a second start opens its menu.
late_taskbar() {
  local file=$E2E_ART/$E2E_NAME-faketray.txt
  rm -f "$file" "$file.end"
  # (explorer through start.exe, for the probe's console: see e2e_begin)
  wine explorer "/desktop=$E2E_DESKTOP,$E2E_SIZE" "$(winpath "$E2E_PROBE")" faketray 20000 \
    "$(winpath "$file")" >>"$E2E_ART/$E2E_NAME-wine.log" 2>&1 9>&- &
  wait_for eval '[[ $(<"$file") == ready ]]' 2>/dev/null || { fail "no refusing taskbar"; return 1; }
  start_program || return 1
  local started=$SECONDS
  # (Once the refusing taskbar has ended, as it may on a slow machine while this looks, an
  # icon is right.)
  holds 2 eval 'alive && { ! tray_icon_drawn || grep -q refused "$file"; }' ||
    { fail "an icon while the taskbar refuses it"; return 1; }
  # Without its icon the program is reached by starting it again: its menu at the pointer.
  local g
  xdotool mousemove $((DX + 300)) $((DY + 250))
  second_copy >/dev/null || return 1
  if wait_for -t 5 menu_open; then
    read -r -a g <<<"$(menu_geometry)"
    key Escape
    expect_eq "menu corner after a second start" "300 250" "${g[0]} ${g[1]}" || return 1
    wait_for menu_closed || { fail "the menu stayed open after Escape"; return 1; }
  elif grep -q refused "$file"; then
    log "the taskbar took the icon before the second start: no menu to look for"
  else
    fail "no menu after a second start while the taskbar refuses the icon"
    return 1
  fi
  # The taskbar comes once the program has had time to offer its icon again (every 2 s).
  while ((SECONDS < started + 5)); do sleep 0.5; done
  : >"$file.end"
  wait_for -t 30 eval 'grep -q refused "$file"' || { fail "the refusing taskbar did not end"; return 1; }
  local refused
  refused=$(sed -n 's/^refused=//p' "$file")
  ((refused >= 2)) || { fail "the icon was offered $refused times while refused (retries expected)"; return 1; }
  wait_for -t 5 tray_shown || { fail "no icon once the taskbar was ready"; return 1; }
  log "adds refused while the taskbar was not ready: $refused"
  second_copy >/dev/null && holds 1.5 menu_closed ||
    { fail "a second start opened the menu with the icon in the tray"; return 1; }
  # (Exit by the mouse: after a process the probe started, Wine gives the keys of the tray's
  # next menu elsewhere, whatever that process did.)
  menu_from_tray && click_item last || return 1
  wait_for gone || fail "Exit did not end the process"
}

# A picture that takes long to load (ZORVANE_TEST_LOAD_DELAY_MS holds every load back, as a
# slow disk would): the tray icon and its menu answer meanwhile, About comes up, and Exit
# ends the program at once, the load abandoned.
slow_load() {
  settings_write "Save=$(pic a.bmp)" "Left=$(tw 300)" "Top=$(tw 200)" Scale=True Always=0
  if declare -F start_program_quietly >/dev/null; then
    ZORVANE_TEST_LOAD_DELAY_MS=30000 start_program_quietly
  else
    ZORVANE_TEST_LOAD_DELAY_MS=30000 start_program || return 1
  fi
  wait_for -t 20 tray_shown || { fail "no tray icon while the picture loads"; return 1; }
  picture_hidden || { fail "the picture showed before its load ended"; return 1; }
  local menu_ms exit_ms
  timed_menu_from_tray || return 1
  menu_ms=$MENU_MS
  pick a || return 1
  wait_for msgbox_up || { fail "no About box while the picture loads"; return 1; }
  msgbox_ok || return 1
  menu_from_tray || return 1
  exit_ms=$(exit_from_menu)
  log "during a slow load: menu opened in $menu_ms ms (click to menu seen; $idle_ms ms with nothing loading), Exit ended the process in $exit_ms ms"
  gone || { fail "Exit did not end the process while the picture loads"; return 1; }
  ((exit_ms < 1000)) || { fail "Exit took $exit_ms ms while the picture loads"; return 1; }
  wait_for tray_empty || { fail "the tray icon stayed after Exit"; return 1; }
}

# A session bus of the group's own, for the program and the services on it; the caller makes
# DBUS_SESSION_BUS_ADDRESS local.
session_bus() {
  local bus
  bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || { fail "no session bus"; return 1; }
  E2E_HELPERS+=("$(sed -n 2p <<<"$bus")")
  DBUS_SESSION_BUS_ADDRESS=$(head -n1 <<<"$bus")
}

# Starts the program again in the background and waits for the running copy's menu: MENU_MS
# gets the milliseconds from the start to the menu seen (checked without pause); false when
# none came within 5 s. The new copy must end by itself, with status 0.
second_start_menu() {
  local t0=$EPOCHREALTIME end=$((SECONDS + 5)) second rc=0
  "$E2E_EXE" >>"$E2E_ART/$E2E_NAME-program.log" 2>&1 9>&- &
  second=$!
  until menu_open; do ((SECONDS < end)) || break; done
  menu_open && MENU_MS=$(ms_since "$t0")
  wait_for eval '[[ ! -r /proc/$second/stat || $(awk "{ print \$3 }" /proc/$second/stat) == Z ]]' ||
    { fail "the second start did not end"; kill "$second"; return 1; }
  wait "$second" || rc=$?
  ((rc == 0)) || { fail "the second start ended with status $rc"; return 1; }
  menu_open || { fail "no menu after a second start"; return 1; }
}

# Without a tray (stock GNOME: no D-Bus tray host, no XEmbed tray), starting the program again
# is the way to it: the running copy opens its menu at the pointer. A first start that shows
# nothing tells the user so, by a notification, or else by its menu in the middle, once.
no_tray() {
  local log=$E2E_ART/$E2E_NAME-program.log lines g
  tray_stop || return 1
  lines=$(grep -c 'no system tray' "$log")
  start_program_quietly
  wait_for menu_open || { fail "no menu at a first start without a tray or notifications"; return 1; }
  read -r -a g <<<"$(menu_geometry)"
  expect_eq "the first start's menu corner" "512 384" "${g[0]} ${g[1]}" || return 1
  expect_eq "lines about the missing tray" $((lines + 1)) "$(grep -c 'no system tray' "$log")" || return 1
  key Escape
  wait_for menu_closed || { fail "the menu stayed open after Escape"; return 1; }
  holds 1.5 eval 'menu_closed && alive' || { fail "the menu came again"; return 1; }

  xdotool mousemove 300 250
  second_start_menu || return 1
  local first_ms=$MENU_MS
  read -r -a g <<<"$(menu_geometry)"
  expect_eq "menu corner after a second start" "300 250" "${g[0]} ${g[1]}" || return 1
  # The whole menu: About answers, and after it another start opens it again, for Exit.
  pick a || return 1
  wait_for msgbox_up || { fail "no About box from the menu a second start opened"; return 1; }
  msgbox_ok || return 1
  xdotool mousemove 600 400
  second_start_menu || return 1
  click_item last || return 1
  wait_for gone || { fail "Exit did not end the process"; return 1; }
  log "a second start to the running copy's menu seen: $first_ms ms, then $MENU_MS ms"

  # Where a notification service runs, the first start tells it that way and opens nothing.
  local -x DBUS_SESSION_BUS_ADDRESS
  session_bus || return 1
  local notes=$E2E_ART/$E2E_NAME-notifications.txt
  : >"$notes"
  /usr/bin/python3 "$E2E_ROOT/tests/e2e/native/sni_host.py" notify "$notes" \
    >>"$E2E_ART/$E2E_NAME-sni.log" 2>&1 9>&- &
  E2E_HELPERS+=($!)
  wait_for eval 'grep -q ready "$notes"' || { fail "the notification service did not start"; return 1; }
  start_program_quietly
  wait_for -t 20 eval '[[ $(wc -l <"$notes") -ge 2 ]]' || { fail "no notification"; return 1; }
  expect_eq "the notification" \
    "$(printf '%s\t' Zorvane zorvane "$E2E_TITLE")Zorvane は起動しています。\nタスクトレイがないデスクトップなので、\nもう一度起動するとメニューが開きます！" \
    "$(tail -n1 "$notes")" || return 1
  holds 1.5 eval 'menu_closed && alive' || { fail "a menu as well as the notification"; return 1; }
  second_start_menu && pick e || return 1
  wait_for gone || { fail "Exit did not end the process"; return 1; }
  expect_eq "notifications" 1 "$(grep -vc ready "$notes")" || return 1

  # With a tray from the start: its icon, no notification, and a second start opens nothing.
  tray_start && start_program || return 1
  wait_for tray_shown || { fail "no tray icon"; return 1; }
  second_copy >/dev/null && holds 1.5 menu_closed ||
    { fail "a second start opened the menu with the icon in the tray"; return 1; }
  expect_eq "notifications" 1 "$(grep -vc ready "$notes")"
}

# A panel that shows tray icons over D-Bus (StatusNotifierItem) opens only the menu an icon
# exports: the same items and check marks, each doing what it does in the program's own menu.
dbus_tray_host() {
  local items=$E2E_ART/$E2E_NAME-sni.txt host="/usr/bin/python3 $E2E_ROOT/tests/e2e/native/sni_host.py"
  local -x DBUS_SESSION_BUS_ADDRESS
  session_bus || return 1
  : >"$items"
  $host watch "$items" >>"$E2E_ART/$E2E_NAME-sni.log" 2>&1 9>&- &
  E2E_HELPERS+=($!)
  wait_for eval 'grep -q ready "$items"' || { fail "the D-Bus tray host did not start"; return 1; }

  settings_write "Save=$(pic a.bmp)" "Left=$(tw 300)" "Top=$(tw 200)" Scale=True Always=0
  start_program_quietly
  wait_for -t 20 eval '[[ $(wc -l <"$items") -ge 2 ]]' || { fail "no icon registered with the host"; return 1; }
  wait_for picture_visible || { fail "no picture"; return 1; }
  tray_empty || { fail "an icon in the XEmbed tray as well"; return 1; }
  local item
  item=$(tail -n1 "$items")
  expect_eq "exported menu" "$(printf '%s\n' '画像交換(_P)	-' '常に手前表示(_T)	-' '透過(_W)	1' \
    '輪郭をなめらかに(_M)	1' '現在の状態を保存(_S)	-' '-	-' 'Help(_H)	-' '-	-' 'About(_A)	-' \
    '-	-' 'Exit(_E)	-')" "$($host menu "$item" | cut -f2-)" || return 1

  $host activate "$item"
  holds 1 eval 'menu_closed && no_dialog && picture_top_is 0' || { fail "a left click on the icon did something"; return 1; }
  $host click "$item" 常に手前 || return 1
  wait_for picture_top_is 1 || { fail "Always on top from the host's menu did not raise the picture"; return 1; }
  expect_eq "its mark" 1 "$($host menu "$item" | awk -F'\t' '$2 ~ /^常に手前/ { print $3 }')" || return 1
  $host click "$item" About || return 1
  wait_for msgbox_up || { fail "no About box from the host's menu"; return 1; }
  msgbox_ok || return 1
  # The program's own menu still opens after a pick in the host's.
  click 360 250 3
  wait_for menu_open || { fail "no menu on the picture after a pick in the host's menu"; return 1; }
  key Escape
  wait_for menu_closed || { fail "the menu stayed open after Escape"; return 1; }
  ! settings_read || [[ ${SETTINGS[Always]} == 0 ]] || { fail "settings written without a save"; return 1; }
  $host click "$item" Exit || return 1
  wait_for gone || fail "Exit from the host's menu did not end the process"
}

idle_ms="?"  # the tray menu's time with nothing loading, from the first group
e2e_begin
group "first start: tray icon only, its menu, Exit" first_start
group "a slow picture load: the menu answers, Exit ends at once" slow_load
[[ $E2E_BACKEND == wine ]] &&
  group "a taskbar not ready at first: the icon comes when it is" late_taskbar
[[ $E2E_BACKEND == native ]] &&
  group "SIGTERM takes the icon; a tray started later gets it" signal_and_late_tray
[[ $E2E_BACKEND == native ]] &&
  group "a D-Bus tray host opens the menu the icon exports" dbus_tray_host
[[ $E2E_BACKEND == native ]] &&
  group "no tray: a first start says how to reach it, a second opens its menu" no_tray
e2e_end
