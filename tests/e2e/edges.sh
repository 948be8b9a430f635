#!/usr/bin/env bash
# The outline's edge on the desktop: an anti-aliased red disk drawn on the mask green stands
# without a green rim; with a compositor (Linux) its edge blends with the desktop; the menu
# item 輪郭をなめらかに (m) brings the hard edge back and is saved.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# The disk's window: 120 x 80 at (300, 200).
X=300 Y=200 W=120 H=80

# Pixels of the window that carry the mask green onto the desktop: greener than the red
# disk over a white, black or Wine's blue desktop can be.
rim() {
  shot && colours $X $Y $W $H | awk -v d="$DESKTOP_RGB" '
    { split($1, c, ","); if ($1 != d && c[2] > c[3] + 16) n += $2 } END { print n + 0 }'
}
# Pixels that are the disk's red blended with a grey desktop: more red, the rest equal.
blends() {
  shot && colours $X $Y $W $H | awk -v d="$DESKTOP_RGB" '
    { split($1, c, ","); if ($1 != d && c[1] > c[2] + 16 && c[2] >= 8 && c[2] - c[3] <= 4 &&
                             c[3] - c[2] <= 4) n += $2 } END { print n + 0 }'
}
rim_is() { [[ $(rim) == "$1" ]]; }
smooth_saved_is() { settings_read && [[ ${SETTINGS[Smooth]-} == "$1" ]]; }
rim_shows() { (($(rim) > 0)); }
choose() { menu_here $((X + W / 2)) $((Y + H / 2)) && pick "$1"; }

start_disk() {
  settings_write "Save=$(pic disk.bmp)" "Left=$(tw $X)" "Top=$(tw $Y)" Scale=True Always=0 "$@"
  start_program && wait_for picture_visible || { fail "the disk did not show"; return 1; }
}

no_rim_and_the_hard_edge_back() {
  start_disk || return 1
  wait_for rim_is 0 || { fail "soft edges: $(rim) rim pixels"; return 1; }
  wait_for pixel_is $((X + 2)) $((Y + 2)) "$DESKTOP_RGB" || { fail "the green corner shows"; return 1; }
  log "  soft edges: 0 rim pixels"
  if [[ $E2E_BACKEND == native ]]; then
    xsetroot -solid black
    DESKTOP_RGB=0,0,0
    wait_for rim_is 0 && wait_for pixel_is $((X + 2)) $((Y + 2)) 0,0,0 ||
      { fail "over black: $(rim) rim pixels"; return 1; }
    xsetroot -solid white
    DESKTOP_RGB=255,255,255
  fi
  choose m && wait_for rim_shows || { fail "m did not bring the hard edge back"; return 1; }
  log "  hard edges: $(rim) rim pixels"
  choose s && wait_for smooth_saved_is 0 || { fail "saved Smooth: expected [0], seen [${SETTINGS[Smooth]-}]"; return 1; }
  stop_program && start_program && wait_for picture_visible || return 1
  wait_for rim_shows || { fail "hard edges not restored"; return 1; }
  choose m && wait_for rim_is 0 || { fail "m did not make the edge soft again"; return 1; }
  choose s && wait_for smooth_saved_is 1 || fail "saved Smooth: expected [1], seen [${SETTINGS[Smooth]-}]"
}

# A compositing manager on the display: the window's alpha blends with the desktop.
compositor_start() {
  picom --config /dev/null --backend xrender >"$E2E_ART/$E2E_NAME-picom.log" 2>&1 9>&- &
  PICOM=$!
  sleep 1.5 # it takes the compositing selection as it starts
  kill -0 "$PICOM" 2>/dev/null
}
compositor_stop() { [[ -n ${PICOM:-} ]] && kill "$PICOM" 2>/dev/null; wait "${PICOM:-}" 2>/dev/null; PICOM=""; }

blended_with_the_desktop() {
  compositor_start || { fail "picom did not start"; return 1; }
  start_disk || { compositor_stop; return 1; }
  local ok=1
  # picom paints its own grey where the desktop has no background picture.
  shot && DESKTOP_RGB=$(pixel $((X + 2)) $((Y + 2)))
  [[ $DESKTOP_RGB != "$MASK" ]] || { fail "the cut-away part shows green"; ok=0; }
  wait_for rim_is 0 || { fail "with a compositor: $(rim) rim pixels"; ok=0; }
  wait_for eval '(($(blends) > 20))' || { fail "the edge does not blend: $(blends) pixels"; ok=0; }
  log "  over $DESKTOP_RGB: $(rim) rim pixels, $(blends) pixels of the edge blended"
  # The compositor goes: the next toggle cuts with the 1-bit shape, still without a rim.
  compositor_stop
  DESKTOP_RGB=255,255,255
  choose w && choose w || ok=0
  wait_for rim_is 0 || { fail "after the compositor went: $(rim) rim pixels"; ok=0; }
  ((ok))
}

e2e_begin
/usr/bin/convert -size ${W}x$H 'xc:rgb(0,128,0)' -fill 'rgb(255,0,0)' \
  -draw "circle 60,40 60,10" BMP3:"$E2E_PICS/disk.bmp" || { log "no disk picture"; exit 1; }
group "soft edges without a rim; m brings the hard edge back and is saved" \
  no_rim_and_the_hard_edge_back
if [[ $E2E_BACKEND == native ]]; then
  group "with a compositor the edge blends with the desktop" blended_with_the_desktop
fi
e2e_end
