#!/usr/bin/env bash
# The packaged Linux program on real desktop shells, run headless one after another: GNOME
# Shell stock and with the AppIndicator extension, KWin alone and with Plasma's shell, and
# Sway (with swaybar). Each gets a saved red disk at 200,200 with Transparent and Always on
# top on, and a short scenario: the picture at its place, cut out over a white window (no
# black, no green), above that window once it is active, out of the taskbar, the tray menu
# opened by the tray host itself, a drag with the compositor's own pointer after which the
# old place shows the bare desktop again, a change of picture to a smaller one after which
# nothing of the old one stays, the menu closed by a click on bare wallpaper, a second start
# that changes nothing (or, with no tray, opens the menu), and nothing saved. A shell whose
# packages are missing is skipped with a line that says which. Installs nothing
# (scripts/test installs the packages when DESKTOPS=1). Exits non-zero when a check failed.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
art=$root/build/desktops
rm -rf "$art" && mkdir -p "$art" && chmod 755 "$art" || exit 1
failed=0 results=()

note() { echo "[desktops] $*"; }
check() {  # DESKTOP WHAT CMD...: records PASS or FAIL
  local desk=$1 what=$2
  shift 2
  if "$@"; then results+=("PASS  $desk: $what"); else results+=("FAIL  $desk: $what"); failed=1; return 1; fi
}
skip() { results+=("SKIP  $1: $2"); }
wait_for() {  # [-t SECONDS] CMD...
  local t=10
  [[ $1 == -t ]] && { t=$2; shift 2; }
  local end=$((SECONDS + t))
  until "$@"; do ((SECONDS >= end)) && return 1; sleep 0.2; done
}
missing() {  # PACKAGE...: the ones not installed
  local p
  for p; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || printf '%s ' "$p"; done
}

# ---- the packaged program (built now), extracted where any user may run it; or the program
# ZORVANE_PROGRAM names, while working on it
if [[ -n ${ZORVANE_PROGRAM:-} ]]; then
  program=$ZORVANE_PROGRAM
else
  deb=$(
    set -euo pipefail
    cd "$root" && dist=$art/dist made=() && mkdir -p "$dist"
    source packaging/linux/build.sh >&2
    printf '%s' "${made[0]}"
  ) || { note "the package did not build"; exit 1; }
  dpkg-deb -x "$deb" "$art/pkg" && chmod -R a+rX "$art/pkg" || exit 1
  program=$art/pkg/usr/bin/zorvane
fi
note "program: $program"

# The pictures: a red disk 200 px across on the mask green, and a blue one 120 px across.
convert -size 200x200 'xc:rgb(0,128,0)' -fill red -draw 'circle 100,100 100,8' BMP3:"$art/disk.bmp" &&
  convert -size 120x120 'xc:rgb(0,128,0)' -fill blue -draw 'circle 60,60 60,6' BMP3:"$art/small.bmp" &&
  chmod a+r "$art"/*.bmp || exit 1

# ---- what every desktop provides: AS (run as its user), XENV (the X display's environment),
# point X Y / press N / release N (its own pointer), shot FILE, can_drag, can_type (X11 keys
# reach the Open dialog), tray_open (the host's own way to open the icon's menu; false when it
# has none), tray_items, tray_pick TEXT, tray_close, about_close, desk_taskbar_check. A pointer moves twice: XWayland takes the first motion over
# one of its windows as the pointer's entry only, and gives a press right after to the window
# under the place before.
AS=() XENV=()
as_desk() { "${AS[@]}" env "${XENV[@]}" "$@"; }
xwin() { as_desk xdotool search --class '^Zorvane$' 2>/dev/null; }
role_of() { as_desk xprop -id "$1" WM_WINDOW_ROLE 2>/dev/null | sed -n 's/.*= "\(.*\)"/\1/p'; }
window_with_role() {
  local w
  for w in $(xwin); do
    [[ $(role_of "$w") == "$1" ]] && as_desk xwininfo -id "$w" | grep -q IsViewable && { echo "$w"; return 0; }
  done
  return 1
}
picture() { window_with_role ZorvanePicture; }
menu_up() { window_with_role ZorvaneMenu >/dev/null; }
menu_down() { ! menu_up; }
place() { as_desk xwininfo -id "$(picture)" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF } END { print x "," y }'; }
at_place() { [[ $(place) == "$1" ]]; }
pixel() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:; }
near() {  # RGB RGB: within 40 in each channel
  local IFS=,
  local a=($1) b=($2) i
  for i in 0 1 2; do ((${a[i]} - ${b[i]} <= 40 && ${b[i]} - ${a[i]} <= 40)) || return 1; done
}
about_up() { as_desk xdotool search --onlyvisible --name '^Zorvane Ver1\.1$' >/dev/null 2>&1; }
click() { point "$1" "$2" && sleep 0.3 && press "$3" && sleep 0.1 && release "$3"; }

# A session bus of the desktop's own, run as its user; its address goes into XENV.
bus_pids=()
session_bus() {  # [--config-file=FILE]
  local out
  out=$(as_desk dbus-daemon "${1:---session}" --fork --print-address=1 --print-pid=1) || return 1
  XENV+=(DBUS_SESSION_BUS_ADDRESS="$(head -n1 <<<"$out")")
  bus_pids+=("$(sed -n 2p <<<"$out")")
}
# The shell, its buses and whatever it started from its folder.
stop_desktop() {  # SHELL-PID DIR
  kill "$1" 2>/dev/null
  pkill -f "$2" 2>/dev/null
  ((${#bus_pids[@]})) && kill "${bus_pids[@]}" 2>/dev/null
  bus_pids=()
  wait "$1" 2>/dev/null
}

# The compositor's own pointer (wlroots' virtual-pointer or KWin's fake-input protocol,
# tests/desktops/vpointer.c), fed through fd 8: point, press and release drive it.
wayland_pointer() {  # DIR
  local dir=$1
  gcc -O1 -o "$dir/vpointer" "$root/tests/desktops/vpointer.c" -lwayland-client &&
    chmod a+rx "$dir/vpointer" && mkfifo -m 666 "$dir/vpointer.in" ||
    { skip "$desk" "the compositor's pointer did not build"; return 1; }
  as_desk "$dir/vpointer" 1280 800 <"$dir/vpointer.in" >"$dir/vpointer.out" 2>&1 &
  exec 8>"$dir/vpointer.in"
  wait_for grep -q ready "$dir/vpointer.out" || check "$desk" "the compositor's pointer" false
  point() { printf 'move %d %d\nmove %d %d\n' $(($1 + 1)) "$2" "$1" "$2" >&8; }
  press() { echo "down $1" >&8; }
  release() { echo "up $1" >&8; }
}
start_program() {
  conf=$home/.config/Kelvra/Kelvra.conf
  "${AS[@]}" mkdir -p "$(dirname "$conf")"
  printf '[Kelvra]\nSave=%s\nLeft=3000\nTop=3000\nScale=True\nAlways=1\n' "$art/disk.bmp" |
    "${AS[@]}" tee "$conf" >/dev/null
  cp "$conf" "$art/$desk-saved.conf"
  as_desk HOME="$home" XDG_CONFIG_HOME="$home/.config" "$program" >>"$art/$desk-program.log" 2>&1 &
  wait_for -t 20 picture >/dev/null
}
cover() {  # a white window under the picture, to be made active (a click on it does nothing)
  as_desk xmessage -geometry 1280x800+0+0 -bg white -fg white -buttons '' cover >/dev/null 2>&1 &
  wait_for as_desk xdotool search --onlyvisible --classname '^xmessage$' >/dev/null
}
uncover() { as_desk pkill -x xmessage; }

# In the shot NAME: each X,Y shows the white window behind the picture.
behind() {  # NAME WHAT X,Y...
  local name=$1 what=$2 seen=() xy white=true
  shift 2
  for xy; do
    seen+=("$(pixel "$art/$desk-$name.png" "${xy%,*}" "${xy#*,}")")
    near "${seen[-1]}" 255,255,255 || white=false
  done
  check "$desk" "$name: $what shows the window behind (seen ${seen[*]} at $*)" $white
}
# In the shot NAME: each X,Y shows what the bare desktop showed there before the program.
as_before() {  # NAME WHAT X,Y...
  local name=$1 what=$2 seen=() was=() xy same=true
  shift 2
  for xy; do
    seen+=("$(pixel "$art/$desk-$name.png" "${xy%,*}" "${xy#*,}")")
    was+=("$(pixel "$art/$desk-bare.png" "${xy%,*}" "${xy#*,}")")
    near "${seen[-1]}" "${was[-1]}" || same=false
  done
  check "$desk" "$name: $what shows the bare desktop (seen ${seen[*]}, before ${was[*]} at $*)" $same
}
figure() {  # NAME X,Y RGB: the picture is drawn there
  local seen
  seen=$(pixel "$art/$desk-$1.png" "${2%,*}" "${2#*,}")
  check "$desk" "$1: the picture is drawn at its new place (seen $seen)" near "$seen" "$3"
}

scenario() {
  local w bare=false
  # The desktop before the program, once it has settled (GNOME Shell still fades in).
  bare_settled() {
    shot "$art/$desk-bare.png" 2>/dev/null || return 1
    local now xy
    now=$(for xy in 205,205 215,300 250,300 300,215; do pixel "$art/$desk-bare.png" "${xy%,*}" "${xy#*,}"; done)
    [[ $now == "${bare_last:-}" ]] || { bare_last=$now; return 1; }
  }
  bare_last="" && wait_for -t 20 eval 'sleep 0.5; bare_settled' && bare=true
  check "$desk" "the program starts and shows the picture" start_program || return
  check "$desk" "at its saved place 200,200" wait_for -t 5 at_place 200,200
  w=$(picture)
  check "$desk" "out of the taskbar and pager (or unmanaged)" eval "as_desk xprop -id $w _NET_WM_STATE |
    grep -q SKIP_TASKBAR || as_desk xwininfo -id $w | grep -q 'Override Redirect State: yes'"
  desk_taskbar_check

  # Cut out, soft rim, over a white window that is then made active.
  cover && sleep 1 && click 900 600 1 && sleep 1
  if shot "$art/$desk-cover.png"; then
    local corner rim centre
    corner=$(pixel "$art/$desk-cover.png" 205 205) centre=$(pixel "$art/$desk-cover.png" 300 300)
    rim=$(pixel "$art/$desk-cover.png" 300 208)
    note "$desk over white: corner $corner, rim $rim, centre $centre"
    check "$desk" "the cut-away corner shows the white window (seen $corner)" near "$corner" 255,255,255
    check "$desk" "the figure stays above the active window (seen $centre)" near "$centre" 255,0,0
    check "$desk" "no green on the rim (seen $rim)" eval "! near $rim 0,128,0"
  else
    skip "$desk" "screen pixels (no screenshot here)"
  fi
  uncover
  sleep 0.5

  # The tray menu, opened the host's own way.
  if tray_open; then
    check "$desk" "the tray host opens the command menu" wait_for -t 5 tray_items
    if tray_pick About; then
      check "$desk" "About from the tray host's menu" wait_for -t 5 about_up
      about_close
      check "$desk" "its box closes" wait_for -t 5 eval '! about_up'
    else
      tray_close
    fi
  else
    skip "$desk" "tray menu (no tray host on this desktop)"
  fi

  # The picture's own menu, closed by a click on bare wallpaper.
  click 300 300 3
  check "$desk" "a right-click on the picture opens the menu" wait_for -t 5 menu_up
  click 1100 700 1
  check "$desk" "a click on bare wallpaper closes the menu" wait_for -t 5 menu_down

  # A drag with the compositor's own pointer, over the bare desktop: where the picture was
  # shows the desktop again, with nothing of the picture left behind.
  if can_drag; then
    point 300 300 && sleep 0.3 && press 1 && sleep 0.2
    local i
    for i in 1 2 3 4 5; do point $((300 + 20 * i)) $((300 + 10 * i)); sleep 0.1; done
    release 1
    check "$desk" "a drag moves the picture (now $(place))" wait_for -t 5 at_place 300,250
    sleep 1
    if $bare && shot "$art/$desk-dragged.png"; then
      # Red before, outside the window now: the old rim at the left and the top, and within;
      # and the old corner, cut away before.
      as_before "dragged" "the old place" 205,205 215,300 250,300 300,215 &&
        figure "dragged" 370,330 255,0,0 # off the pointer, which some shots show
    fi
  else
    skip "$desk" "drag (its pointer cannot be driven from here)"
  fi

  # A change of picture, to a smaller blue disk, through the picture's menu and the Open
  # dialog, over the white window: nothing of the red disk stays where the new window does
  # not reach.
  cover && sleep 1
  if can_type; then
    local x y mx=0 my=0
    IFS=, read -r x y <<<"$(place)"
    click $((x + 100)) $((y + 100)) 3 && wait_for -t 5 menu_up &&
      eval "$(as_desk xwininfo -id "$(window_with_role ZorvaneMenu)" | awk '/Absolute upper-left X/ { print "mx=" $NF } /Absolute upper-left Y/ { print "my=" $NF }')" &&
      click $((mx + 40)) $((my + 12)) 1
    if check "$desk" "the Open dialog from the picture's menu" wait_for -t 10 eval 'as_desk xdotool search --onlyvisible --name "^Open\$" >/dev/null'; then
      as_desk xdotool key ctrl+a BackSpace && as_desk xdotool type --delay 4 -- "$art/small.bmp" && as_desk xdotool key Return
      check "$desk" "the picture changes in place" wait_for -t 10 eval "as_desk xwininfo -id \$(picture) | grep -q -- '-geometry 120x120+$x+$y'"
      sleep 1
      if shot "$art/$desk-changed.png"; then
        behind "changed" "the red disk's place" $((x + 170)),$((y + 100)) $((x + 100)),$((y + 170)) $((x + 5)),$((y + 5)) &&
          figure "changed" $((x + 60)),$((y + 60)) 0,0,255
      fi
    fi
  else
    skip "$desk" "change of picture (${no_type_reason:-no way to type into the Open dialog})"
  fi
  uncover
  sleep 1
  # The white window gone, where the picture first stood shows the desktop as before.
  if $bare && [[ $(place) != 200,200 ]] && shot "$art/$desk-uncovered.png"; then
    as_before "uncovered" "the first place" 205,205 215,300 250,300 300,215
  fi

  # A second start ends; nothing was saved. It changes nothing where the icon is in a tray;
  # where the program found none (it says so on its standard error), the running copy opens
  # its menu at the pointer, closed then by a click on bare wallpaper.
  point 1000 100
  as_desk HOME="$home" XDG_CONFIG_HOME="$home/.config" timeout 10 "$program" >>"$art/$desk-program.log" 2>&1
  check "$desk" "a second start ends at once" test $? -eq 0
  if grep -q 'no system tray' "$art/$desk-program.log"; then
    check "$desk" "without a tray, a second start opens the menu" wait_for -t 5 menu_up
    click 1100 700 1
    check "$desk" "a click on bare wallpaper closes it" wait_for -t 5 menu_down
  fi
  check "$desk" "one picture window" test "$(for w in $(xwin); do role_of "$w"; done | grep -c ZorvanePicture)" -eq 1
  check "$desk" "nothing saved" cmp -s "$conf" "$art/$desk-saved.conf"
  shot "$art/$desk-last.png" 2>/dev/null
  # DESKTOPS_HOLD=seconds keeps the desktop up for a look by hand (its environment in env.sh).
  if [[ -n ${DESKTOPS_HOLD:-} ]]; then
    printf 'export %q\n' "${XENV[@]}" >"$art/$desk/env.sh"
    sleep "$DESKTOPS_HOLD"
  fi
  as_desk pkill -f "$program" 2>/dev/null
}

# ---- GNOME Shell (Mutter), on a private system bus, in its own session bus
gnome_eval() { as_desk gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method org.gnome.Shell.Eval "$1"; }
gnome_pointer() {  # JS statements on the virtual pointer p and time t
  gnome_eval "const {Clutter} = imports.gi; global._zvp = global._zvp || Clutter.get_default_backend().get_default_seat().create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE); let p = global._zvp, t = global.get_current_time() * 1000 + 1; $1; 'ok'" >/dev/null
}
gnome_run() {  # DESKTOP-NAME [EXTENSION-PACKAGE]
  desk=$1 extension=${2:-}
  local m
  m=$(missing gnome-shell dbus xwayland libglib2.0-bin $extension)
  [[ -n $m ]] && { skip "$desk" "missing packages: $m"; return; }
  local dir=$art/$desk
  mkdir -p "$dir/run" "$dir/home" && chmod 700 "$dir/run"
  home=$dir/home
  printf '%s' "<busconfig><type>system</type><listen>unix:path=$dir/system_bus</listen>" \
    '<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>' \
    '<allow own="*"/><allow user="*"/>' \
    '</policy><auth>EXTERNAL</auth></busconfig>' >"$dir/system_bus.conf"
  dbus-daemon --fork --print-address=1 --print-pid=1 --config-file="$dir/system_bus.conf" \
    >"$dir/system_bus.txt" || { skip "$desk" "no system bus"; return; }
  bus_pids+=("$(sed -n 2p "$dir/system_bus.txt")")
  AS=() XENV=(XDG_RUNTIME_DIR="$dir/run" HOME="$home")
  session_bus || { skip "$desk" "no session bus"; stop_desktop "" "$dir"; return; }
  as_desk DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/system_bus" gnome-shell --headless --wayland \
    --unsafe-mode --virtual-monitor 1280x800 >"$art/$desk-shell.log" 2>&1 &
  local shell=$!
  if ! wait_for -t 40 eval "ls $dir/run/.mutter-Xwaylandauth.* >/dev/null 2>&1"; then
    skip "$desk" "GNOME Shell did not start (see $desk-shell.log)"; stop_desktop $shell "$dir"; return
  fi
  wait_for -t 20 eval 'gnome_eval "global.display.get_n_monitors()" | grep -q true' || true
  local display
  display=$(gnome_eval "imports.gi.GLib.getenv('DISPLAY')" | sed -n "s/.*'\"\(:[0-9]*\)\"'.*/\1/p")
  XENV+=(DISPLAY="$display" XAUTHORITY="$(ls "$dir"/run/.mutter-Xwaylandauth.* | head -n1)")
  if [[ -n $extension ]]; then
    gnome_eval "Main.extensionManager.enableExtension('ubuntu-appindicators@ubuntu.com')" >/dev/null
    wait_for eval "as_desk gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus --method org.freedesktop.DBus.NameHasOwner org.kde.StatusNotifierWatcher | grep -q true" ||
      check "$desk" "the AppIndicator extension runs" false
  fi
  point() { gnome_pointer "p.notify_absolute_motion(t, $1 + 1, $2); p.notify_absolute_motion(t + 1, $1, $2)"; }
  press() { gnome_pointer "p.notify_button(t, $1 == 3 ? Clutter.BUTTON_SECONDARY : Clutter.BUTTON_PRIMARY, Clutter.ButtonState.PRESSED)"; }
  release() { gnome_pointer "p.notify_button(t, $1 == 3 ? Clutter.BUTTON_SECONDARY : Clutter.BUTTON_PRIMARY, Clutter.ButtonState.RELEASED)"; }
  shot() { as_desk gdbus call --session --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
    --method org.gnome.Shell.Screenshot.Screenshot false false "$1" >/dev/null && [[ -s $1 ]]; }
  can_drag() { true; }
  can_type() { return 1; }  # see about_close
  no_type_reason="no keyboard for the Open dialog here"
  indicator='Main.panel.statusArea[Object.keys(Main.panel.statusArea).find(k => k.startsWith("appindicator"))]'
  tray_open() {
    [[ -n $extension ]] || return 1
    wait_for -t 10 eval "gnome_eval '!!$indicator' | grep -q true" || return 0
    local xy
    xy=$(gnome_eval "let b = $indicator; let [x, y] = b.get_transformed_position(); let [w, h] = b.get_transformed_size(); Math.round(x + w / 2) + ' ' + Math.round(y + h / 2)" |
      sed -n "s/.*'\"\([0-9]*\) \([0-9]*\)\"'.*/\1 \2/p")
    click $xy 3
  }
  tray_items() {
    local items
    items=$(gnome_eval "let b = $indicator; b.menu.isOpen + ' ' + b.menu._getMenuItems().filter(i => i.label).map(i => i.label.text).join('|')")
    note "$desk tray menu: $items"
    [[ $items == *true*画像交換*常に手前表示*透過*Exit* ]]
  }
  tray_close() { gnome_eval "$indicator.menu.close()" >/dev/null; }
  # Closed as its title bar's close button would: a key through XTEST stays held in
  # Mutter's eyes and comes back, repeating, to the next X window that takes the keyboard.
  about_close() {
    gnome_eval "global.display.list_all_windows().filter(w => w.get_title() == 'Zorvane Ver1.1').forEach(w => w.delete(global.get_current_time()))" >/dev/null
  }
  tray_pick() {  # TEXT: clicks the host's menu item that starts with it
    local xy
    xy=$(gnome_eval "let i = $indicator.menu._getMenuItems().find(i => i.label && i.label.text.startsWith('$1')); let [x, y] = i.get_transformed_position(); let [w, h] = i.get_transformed_size(); Math.round(x + w / 2) + ' ' + Math.round(y + h / 2)" |
      sed -n "s/.*'\"\([0-9]*\) \([0-9]*\)\"'.*/\1 \2/p")
    [[ -n $xy ]] && click $xy 1
  }
  desk_taskbar_check() {
    check "$desk" "Mutter keeps it out of the taskbar" eval "gnome_eval 'global.display.list_all_windows().filter(w => w.get_wm_class() == \"Zorvane\").every(w => w.skip_taskbar)' | grep -q true"
  }
  # It starts in the overview, which the program's window would close later on.
  wait_for -t 20 eval "sleep 0.5; gnome_eval 'Main.overview.hide(); Main.overview.visible || Main.overview.animationInProgress' | grep -q \"'false'\"" ||
    note "$desk: the overview stays up"
  scenario
  stop_desktop $shell "$dir"
  pkill -f "gnome-shell --headless" 2>/dev/null
}

# ---- KWin, alone or with Plasma's shell (plasmashell: its panel's system tray a
# StatusNotifierItem host, its task manager a taskbar). KWin's binary is copied: the installed
# one carries a file capability that a container may refuse. Its screenshot and fake-input
# interfaces answer only programs that its desktop entries name, unless told otherwise.
kwin_run() {  # DESKTOP-NAME: kwin or plasma
  desk=$1
  local m
  m=$(missing kwin-wayland dbus xwayland gcc libwayland-dev python3-gi)
  [[ $desk == plasma ]] && m+=$(missing plasma-workspace kded5 kactivitymanagerd)
  [[ -n $m ]] && { skip "$desk" "missing packages: $m"; return; }
  local dir=$art/$desk
  mkdir -p "$dir/run" "$dir/home/.config" && chmod 700 "$dir/run" && cp /usr/bin/kwin_wayland "$dir/kwin_wayland"
  home=$dir/home
  AS=() XENV=(XDG_RUNTIME_DIR="$dir/run" HOME="$home")
  # Plasma's session bus starts no services of its own: what the session would bring up on
  # demand (device, phone and Bluetooth daemons) only fails and restarts on a bare machine.
  printf '%s' "<busconfig><type>session</type><listen>unix:tmpdir=$dir</listen>" \
    '<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>' \
    '<allow own="*"/></policy><auth>EXTERNAL</auth></busconfig>' >"$dir/session_bus.conf"
  session_bus --config-file="$dir/session_bus.conf" || { skip "$desk" "no session bus"; return; }
  as_desk KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 QT_LOGGING_RULES='kwin_scripting.debug=true' \
    "$dir/kwin_wayland" --virtual --xwayland --width 1280 --height 800 >"$art/$desk-shell.log" 2>&1 &
  local shell=$!
  kwin_display() {
    local p
    p=$(pgrep -f "^$dir/kwin_wayland" | head -n1) &&
      ps -o args= --ppid "$p" | sed -n 's/.*Xwayland \(:[0-9]*\).*/\1/p' | head -n1
  }
  wait_for -t 30 eval '[[ -n $(kwin_display) ]]' ||
    { skip "$desk" "KWin did not start (see $desk-shell.log)"; stop_desktop $shell "$dir"; return; }
  local display
  display=$(kwin_display)
  XENV+=(DISPLAY="$display" WAYLAND_DISPLAY=wayland-0)
  wait_for as_desk xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null
  # Headless, it has no pointer: one through its fake-input protocol stands in.
  wayland_pointer "$dir" || { stop_desktop $shell "$dir"; return; }
  # The pixels come through a pipe, which gdbus cannot pass.
  shot() { as_desk /usr/bin/python3 "$root/tests/desktops/kwin-shot.py" >"$dir/shot.ppm" && convert "$dir/shot.ppm" "$1"; }
  can_drag() { true; }
  can_type() { true; }
  tray_open() { return 1; }
  # A JavaScript expression's value, from a KWin script, which can only print into KWin's log.
  kwin_eval() {
    local n log=$art/$desk-shell.log
    n=$(date +%s%N) # called in subshells too: no counter
    echo "print('zorvane-eval $n ' + ($1));" >"$dir/eval$n.js"
    as_desk gdbus call --session --dest org.kde.KWin --object-path /Scripting --method org.kde.kwin.Scripting.loadScript "$dir/eval$n.js" "zorvane-eval$n" >/dev/null &&
      as_desk gdbus call --session --dest org.kde.KWin --object-path /Scripting --method org.kde.kwin.Scripting.start >/dev/null &&
      wait_for -t 5 grep -q "zorvane-eval $n " "$log" && sed -n "s/.*zorvane-eval $n //p" "$log" | head -n1
  }
  kwin_taskbar_check() {
    # KWin's own view, which Plasma's task manager follows.
    check "$desk" "KWin keeps it out of the taskbar" eval "kwin_eval 'workspace.clientList().filter(w => String(w.resourceClass).toLowerCase() == \"zorvane\").every(w => w.skipTaskbar)' | grep -q true"
  }
  # Closed as its title bar's close button would.
  about_close() { kwin_eval 'workspace.clientList().filter(w => w.caption == "Zorvane Ver1.1").forEach(w => w.closeWindow())' >/dev/null; }
  desk_taskbar_check() { kwin_taskbar_check; }
  [[ $desk == plasma ]] && plasma_start
  scenario
  exec 8>&-
  stop_desktop $shell "$dir"
}

# Plasma's shell in the KWin session: the activity manager it insists on, kded with only its
# StatusNotifierWatcher, and plasmashell with its first layout (a panel along the bottom:
# launcher, task manager, system tray, clock).
plasma_start() {
  local dir=$art/$desk module
  for module in /usr/lib/x86_64-linux-gnu/qt5/plugins/kf5/kded/*.so; do
    module=$(basename "$module" .so)
    [[ $module == statusnotifierwatcher ]] || printf '[Module-%s]\nautoload=false\n\n' "$module"
  done >"$home/.config/kded5rc"
  local qt=(QT_QPA_PLATFORM=wayland XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5)
  as_desk "${qt[@]}" /usr/lib/x86_64-linux-gnu/libexec/kactivitymanagerd >"$art/$desk-kamd.log" 2>&1 &
  as_desk "${qt[@]}" kded5 >"$art/$desk-kded.log" 2>&1 &
  wait_for -t 20 has_name org.kde.StatusNotifierWatcher || check "$desk" "kded's StatusNotifierWatcher runs" false
  wait_for -t 20 has_name org.kde.ActivityManager || check "$desk" "the activity manager runs" false
  as_desk "${qt[@]}" plasmashell --no-respawn >"$art/$desk-plasmashell.log" 2>&1 &
  wait_for -t 60 eval 'has_name org.kde.plasmashell && as_desk gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered 2>/dev/null | grep -q true' ||
    check "$desk" "plasmashell and its system tray start" false
  wait_for -t 30 eval 'kwin_eval "workspace.clientList().some(w => w.dock)" | grep -q true' ||
    check "$desk" "Plasma's panel shows" false
  sleep 5 # its panel drawn
  # The panel along the bottom. The task manager has the middle (the launcher left of it,
  # the tray right): the program shows nothing there; a window of the taskbar, the white
  # cover, would. The program's tray icon is what changes in the tray once it runs.
  panel() { shot "$dir/panel.png" && convert "$dir/panel.png" -crop 1280x40+0+760 +repage "$1"; }
  changed() {  # A B X W: the box WxH+X+Y of what differs between two panels, within X..X+W
    convert "$1" "$2" -crop "$4x40+$3+0" +repage -compose difference -composite -threshold 10% -format '%@' info: 2>/dev/null
  }
  panel "$dir/panel-before.png"
  desk_taskbar_check() {
    kwin_taskbar_check
    wait_for -t 10 eval "as_desk gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
      --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems | grep -q StatusNotifierItem"
    sleep 2
    panel "$dir/panel-program.png"
    cover && sleep 2 && panel "$dir/panel-cover.png"
    uncover
    local with_program with_cover
    with_program=$(changed "$dir/panel-before.png" "$dir/panel-program.png" 200 700)
    with_cover=$(changed "$dir/panel-before.png" "$dir/panel-cover.png" 200 700)
    note "$desk task manager: changed with the program ${with_program:-nothing}, with a plain window ${with_cover:-nothing}"
    check "$desk" "Plasma's task manager shows no entry for it (a plain window's shows)" \
      eval "[[ $with_program == 0x0* && $with_cover != 0x0* ]]"
  }
  # Plasma's system tray: a right-click on the icon has Plasma read the menu the program
  # exports (com.canonical.dbusmenu) and show it as a menu of its own, which the keyboard
  # drives. What the host asks of the menu is read off the bus.
  as_desk dbus-monitor "interface='com.canonical.dbusmenu'" >"$dir/dbusmenu.log" 2>&1 &
  tray_open() {
    # The new icon is the left end of what changed (the icons right of it may shift), as
    # wide as it is high.
    local box x y
    box=$(changed "$dir/panel-before.png" "$dir/panel-program.png" 900 250)
    [[ $box =~ ^[0-9]+x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] && ((BASH_REMATCH[1] > 0)) || return 1
    x=$((900 + BASH_REMATCH[2] + BASH_REMATCH[1] / 2)) y=$((760 + BASH_REMATCH[3] + BASH_REMATCH[1] / 2))
    note "$desk tray icon: what changed in the tray is $box, clicked at $x,$y"
    : >"$dir/dbusmenu.log" && click $x $y 3
  }
  tray_items() {
    grep -a -A2 'member=Event' "$dir/dbusmenu.log" | grep -q '"opened"' || return 1
    shot "$art/$desk-tray.png"
    note "$desk tray menu: opened by the host ($(grep -ao 'member=[A-Za-z]*' "$dir/dbusmenu.log" | sort | uniq -c | xargs))"
  }
  tray_pick() {  # TEXT: its mnemonic key (Linux input code)
    case $1 in
    About) echo "key 30" >&8 ;;
    *) return 1 ;;
    esac
  }
  tray_close() { echo "key 1" >&8; }  # Escape
}
has_name() { as_desk gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true; }

# ---- Sway with swaybar (a tray host that calls the icon's ContextMenu), as an
# unprivileged user: it refuses to run as root
sway_run() {
  desk=sway
  local m
  m=$(missing sway xwayland grim dbus gcc libwayland-dev)
  [[ -n $m ]] && { skip "$desk" "missing packages: $m"; return; }
  local dir=$art/$desk
  mkdir -p "$dir/run" "$dir/home" && chmod 700 "$dir/run"
  home=$dir/home
  AS=()
  if [[ $(id -u) == 0 ]]; then
    chown -R 65534:65534 "$dir"
    AS=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  fi
  printf '%s\n' 'xwayland enable' 'output HEADLESS-1 resolution 1280x800 position 0,0 bg #336699 solid_color' \
    'default_border none' 'bar {' '  position top' '  tray_output *' '}' >"$dir/config"
  chmod a+r "$dir/config"
  XENV=(XDG_RUNTIME_DIR="$dir/run" HOME="$home" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman)
  session_bus || { skip "$desk" "no session bus"; return; }
  as_desk sway -c "$dir/config" >"$art/$desk-shell.log" 2>&1 &
  local shell=$!
  wait_for -t 20 eval "ls $dir/run/sway-ipc.* >/dev/null 2>&1" ||
    { skip "$desk" "Sway did not start (see $desk-shell.log)"; stop_desktop $shell "$dir"; return; }
  XENV+=(SWAYSOCK="$(ls "$dir"/run/sway-ipc.* | head -n1)" WAYLAND_DISPLAY=wayland-1)
  as_desk swaymsg exec "printf %s \"\$DISPLAY\" >$dir/display" >/dev/null
  wait_for eval "[[ -s $dir/display ]]" || { skip "$desk" "no XWayland"; stop_desktop $shell "$dir"; return; }
  local display
  display=$(<"$dir/display")
  XENV+=(DISPLAY="$display")
  # Headless, it has no pointer: one through its virtual-pointer protocol stands in.
  wayland_pointer "$dir" || { stop_desktop $shell "$dir"; return; }
  shot() { as_desk grim "$dir/shot.png" && cp "$dir/shot.png" "$1"; }
  can_drag() { true; }
  # Once the white window is mapped after the picture, Sway still shows the picture above it
  # but gives the pointer to the white window (its text cursor over the picture, a right-click
  # selecting its text): the picture's menu, and so the Open dialog, cannot be reached.
  can_type() { return 1; }
  # Once the white window has mapped over the unmanaged picture, Sway draws the picture on top
  # yet gives the pointer to the window below: the click for the menu never reaches it.
  no_type_reason="Sway gives clicks on the picture to the window mapped below it"
  tray_open() {
    # swaybar's tray: the icons at the right end of the bar along the top.
    wait_for -t 10 eval "as_desk gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
      --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems 2>/dev/null | grep -q StatusNotifierItem" ||
      return 1
    click 1270 10 3
  }
  tray_pick() { return 1; }
  tray_items() { menu_up && note "$desk tray menu: the program's own, at $(as_desk xwininfo -id "$(window_with_role ZorvaneMenu)" | grep -- -geometry)"; }
  tray_close() { as_desk xdotool key Escape; wait_for menu_down; }
  desk_taskbar_check() { :; }
  scenario
  exec 8>&-
  stop_desktop $shell "$dir"
}

command -v convert >/dev/null || { note "ImageMagick is missing"; exit 1; }
# DESKTOPS_ONLY=name runs one of them.
wanted() { [[ -z ${DESKTOPS_ONLY:-} || $DESKTOPS_ONLY == "$1" ]]; }
wanted gnome && gnome_run gnome ""
wanted gnome-appindicator && gnome_run gnome-appindicator gnome-shell-extension-appindicator
wanted kwin && kwin_run kwin
wanted plasma && kwin_run plasma
wanted sway && sway_run

echo
echo "=== desktops"
printf '%s\n' "${results[@]}"
((failed == 0))
