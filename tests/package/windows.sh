#!/usr/bin/env bash
# The Windows installer and zip (scripts/package windows) in a fresh Wine prefix of their
# own: install, start at sign-in, upgrade and uninstall, also while the program runs.
# Drives the installed program with the end-to-end tests' Wine library, on the prefix's
# default desktop, where programs started by the installer or at sign-in appear.
export E2E_BACKEND=wine E2E_DESKTOP=Default
export E2E_PREFIX=${ZORVANE_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}/build/wine-package
rm -rf "$E2E_PREFIX"
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/common.sh"

DIST=$E2E_ROOT/build/dist
STAGE=${ZORVANE_PACKAGE_WINDOWS_BUILD:-$E2E_ROOT/build/package-windows}/stage  # packaging/windows/build.sh
VERSION=$(sed -n 's/^project(Zorvane VERSION \([0-9.]*\).*/\1/p' "$E2E_ROOT/CMakeLists.txt")
MSI=$DIST/Zorvane-$VERSION-x64.msi
ZIP=$DIST/Zorvane-$VERSION-x64.zip
NEXT_MSI=$E2E_ROOT/build/package-test/Zorvane-next-x64.msi
NEXT_VERSION=${VERSION%.*}.$((${VERSION##*.} + 1))
E2E_EXE=$STAGE/Zorvane.exe  # what e2e_begin checks; the tests run the installed copy
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
UNINSTALL_KEYS=('HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
  'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall')

msiexec() { wine "$(zv_wine_exe msiexec)" "$@" /qn >>"$E2E_ART/$E2E_NAME-msiexec.log" 2>&1 9>&-; }
reg_value() { wine "$(zv_wine_exe reg)" query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^  /, ""); print }'; }
# The registered products named Zorvane, one "version" a line.
products() {
  local root
  for root in "${UNINSTALL_KEYS[@]}"; do
    wine "$(zv_wine_exe reg)" query "$root" /s 2>/dev/null | tr -d '\r' | awk '
      /^HKEY/ { name = ""; version = "" }
      $1 == "DisplayName" { name = $3 } $1 == "DisplayVersion" { print name, $3 }' |
      awk '$1 == "Zorvane" { print $2 }'
  done
}
# The registry keys of the registered products named Zorvane, one a line.
product_keys() {
  local root key
  for root in "${UNINSTALL_KEYS[@]}"; do
    for key in $(wine "$(zv_wine_exe reg)" query "$root" 2>/dev/null | tr -d '\r' | grep -o '{[0-9A-F-]*}$'); do
      [[ $(reg_value "$root\\$key" DisplayName) == Zorvane ]] && echo "$root\\$key"
    done
  done
}
uninstall_all() {
  local key
  for key in $(product_keys); do msiexec /x "${key##*\\}"; done
  [[ -z $(products) ]]
}

# Where the per-user install goes, as Linux paths.
locate_install() {
  local appdata local_appdata
  local_appdata=$(wine "$(zv_wine_exe cmd)" /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
  appdata=$(wine "$(zv_wine_exe cmd)" /c echo %APPDATA% 2>/dev/null | tr -d '\r')
  E2E_EXE_WIN="$local_appdata\\Programs\\Zorvane\\Zorvane.exe"
  INSTALLED=$(wine "$(zv_wine_exe winepath)" -u "$E2E_EXE_WIN" 2>/dev/null)
  SHORTCUT=$(wine "$(zv_wine_exe winepath)" -u "$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Zorvane.lnk" 2>/dev/null)
  [[ -n $INSTALLED && -n $SHORTCUT ]]
}
installed() { [[ -f $INSTALLED && -f $SHORTCUT ]]; }
removed() { [[ ! -e $INSTALLED && ! -e ${INSTALLED%/*} && ! -e $SHORTCUT ]]; }
autostart() { reg_value "$RUN_KEY" Zorvane; }
# The process running the installed program on the desktop, if any.
installed_pid() { field "$(probe list --class ZorvaneHost | head -n1)" pid; }
# started WHAT: the installed program, which wineboot (sign-in) or the installer (an
# upgrade) has just started, comes up: its process exists once they have returned (a few
# seconds are allowed for it to show as the program), and its window comes while that
# process lives. Fails as soon as it is not there or ends, with the prefix's processes.
started() {
  local t0=$EPOCHREALTIME why=""
  if ! wait_for -t 10 eval 'unix_pid >/dev/null'; then
    why="no process runs the program"
  elif ! wait_for -t 90 eval '[[ -n $(installed_pid) ]] || ! unix_pid >/dev/null'; then
    why="the program's process has shown no window for 90 s"
  elif [[ -z $(installed_pid) ]]; then
    why="the program's process ended without a window"
  fi
  if [[ -n $why ]]; then
    fail "$1: $why"
    wine_processes | sed 's/^/  process: /'
    return 1
  fi
  log "$1: the program's window after $(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s"
  PID=$(installed_pid)
}

install_and_run() {
  msiexec /i "$(winpath "$MSI")" || { fail "msiexec /i failed"; return 1; }
  installed || { fail "no program or Start menu shortcut after the install"; return 1; }
  cmp -s "$INSTALLED" "$STAGE/Zorvane.exe" || { fail "the installed exe is not the packaged one"; return 1; }
  expect_eq "start at sign-in" "\"$E2E_EXE_WIN\"" "$(autostart)" || return 1
  expect_eq "products" "$VERSION" "$(products)" || return 1
  expect_eq "publisher" "Zorvane developers" "$(reg_value "$(product_keys)" Publisher)" || return 1
  start_program && wait_for tray_shown || { fail "the installed program shows no tray icon"; return 1; }
}

# Wine runs the Run key when a prefix starts (wineboot), as Windows at sign-in.
signin_starts_it() {
  msiexec /i "$(winpath "$MSI")" && [[ -n $(autostart) ]] || { fail "no start at sign-in"; return 1; }
  [[ -z $(installed_pid) ]] || { fail "the install started the program"; return 1; }
  # wineboot starts the sign-in programs as it ends, without waiting for them.
  wine "$(zv_wine_exe wineboot)" </dev/null >/dev/null 2>&1 9>&-
  started "start at sign-in" || return 1
  wait_for tray_shown || fail "no tray icon after the start at sign-in"
}

autostart_off_survives_upgrade() {
  msiexec /i "$(winpath "$MSI")" AUTOSTART=0 && installed || { fail "install with AUTOSTART=0 failed"; return 1; }
  expect_eq "start at sign-in with AUTOSTART=0" "" "$(autostart)" || return 1
  wine "$(zv_wine_exe wineboot)" </dev/null >/dev/null 2>&1 9>&-
  holds 2 eval '[[ -z $(installed_pid) ]]' || { fail "a restart started the program with AUTOSTART=0"; return 1; }
  msiexec /i "$(winpath "$NEXT_MSI")" || { fail "the upgrade failed"; return 1; }
  expect_eq "start at sign-in after the upgrade" "" "$(autostart)" || return 1
  expect_eq "products after the upgrade" "$NEXT_VERSION" "$(products)" || return 1
  expect_eq "copies on disk" 1 "$(find "${INSTALLED%/Programs/*}" -iname Zorvane.exe | wc -l)" || return 1
  # An older package does not replace a newer one.
  ! msiexec /i "$(winpath "$MSI")" || { fail "the older package installed over the newer"; return 1; }
  expect_eq "products after the older package" "$NEXT_VERSION" "$(products)"
}

upgrade_while_running() {
  install_and_run || return 1
  local old=$PID
  msiexec /i "$(winpath "$NEXT_MSI")" || { fail "the upgrade failed"; return 1; }
  expect_eq "products after the upgrade" "$NEXT_VERSION" "$(products)" || return 1
  PID=$old
  ! alive || { fail "the old program still runs after the upgrade"; return 1; }
  # It was running, so the upgrade starts it again.
  started "start after the upgrade" || return 1
  wait_for tray_shown || fail "no tray icon after the upgrade"
}

uninstall_while_running() {
  install_and_run || return 1
  settings_write Save='C:\pictures\a.bmp' Left=1500 Top=3000 Scale=1 Always=1
  msiexec /x "$(winpath "$MSI")" || { fail "msiexec /x failed"; return 1; }
  ! alive || { fail "the program still runs after the uninstall"; return 1; }
  wait_for tray_empty || { fail "the tray icon stayed after the uninstall"; return 1; }
  removed || { fail "files or the shortcut stayed after the uninstall"; return 1; }
  expect_eq "start at sign-in after the uninstall" "" "$(autostart)" &&
    expect_eq "products after the uninstall" "" "$(products)" || return 1
  settings_read || { fail "the uninstall took the saved settings"; return 1; }
  expect_eq "saved picture" 'C:\pictures\a.bmp' "${SETTINGS[Save]:-}" &&
    expect_eq "saved Top" 3000 "${SETTINGS[Top]:-}"
}

zip_contents() {
  local list strings
  strings=$(python3 "$E2E_ROOT/tests/package/version_strings.py" "$STAGE/Zorvane.exe")
  expect_eq "version resource" "CompanyName=Zorvane developers|FileVersion=$VERSION|ProductName=Zorvane|ProductVersion=$VERSION" \
    "$(grep -E '^(CompanyName|FileVersion|ProductName|ProductVersion)=' <<<"$strings" | paste -sd'|')" || return 1
  list=$(python3 -c 'import sys, zipfile; print(" ".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$ZIP")
  expect_eq "zip contents" "LICENSE.txt README.txt Zorvane.exe" "$list" || return 1
  local x=$E2E_ROOT/build/package-test/msi
  rm -rf "$x" && mkdir -p "$x" && (cd "$x" && msiextract "$MSI" >/dev/null) || { fail "msiextract failed"; return 1; }
  python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("Zorvane.exe"))' \
    "$ZIP" >"$x/zip-Zorvane.exe"
  cmp -s "$x/zip-Zorvane.exe" "$(find "$x" -name Zorvane.exe | head -n1)" ||
    fail "the zip's exe is not the MSI's"
}

# Each group starts with nothing installed and ends with whatever it installed removed
# (each look through the registry costs a few Wine processes: none when the group before
# left nothing behind).
CLEAN=1  # a fresh prefix
package_group() {
  local name=$1 fn=$2
  ((CLEAN)) || uninstall_all ||
    { fail "could not remove an earlier install"; E2E_FAILED+=("$name"); return; }
  group "$name" "$fn"
  CLEAN=0
  uninstall_all >/dev/null 2>&1 && CLEAN=1
}

bash "$E2E_ROOT/scripts/package" windows >"$E2E_ROOT/build/package-windows.log" 2>&1 ||
  { cat "$E2E_ROOT/build/package-windows.log"; exit 1; }
mkdir -p "${NEXT_MSI%/*}"
bash "$E2E_ROOT/packaging/windows/make-msi.sh" "$STAGE" "$NEXT_VERSION" "$NEXT_MSI" || exit 1
e2e_begin
locate_install || { log "no per-user folders in the prefix"; exit 1; }
package_group "zip: three files, the MSI's exe with its version" zip_contents
package_group "install: files, shortcut, start at sign-in, product; the program starts" install_and_run
package_group "a restarted prefix starts the installed program" signin_starts_it
package_group "AUTOSTART=0 kept by an upgrade; one product, one copy; older refused" autostart_off_survives_upgrade
package_group "upgrade while it runs: closed, replaced, started again" upgrade_while_running
package_group "uninstall while it runs: closed, all gone but the saved settings" uninstall_while_running
e2e_end
