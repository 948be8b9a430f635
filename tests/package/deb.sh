#!/usr/bin/env bash
# The Debian package: builds it as scripts/package does (packaging/linux/build.sh, into
# build/deb-test; from the build folder ZORVANE_DEB_BUILD when set, as scripts/test sets
# it), checks it with lintian, desktop-file-validate and appstreamcli, checks what it
# holds, and runs the native startup scenario (tests/e2e/startup.sh) against the program
# extracted from it.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root" || exit 1
scratch=$root/build/deb-test
rm -rf "$scratch" && mkdir -p "$scratch/dist" || exit 1

failures=0
fail() { echo "deb: FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "deb: ok: $*"; }

deb=$(
  set -euo pipefail
  dist=$scratch/dist made=()
  source packaging/linux/build.sh >&2
  printf '%s' "${made[0]}"
) && [[ -f $deb ]] || { echo "deb: FAIL: the package did not build" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "${ZORVANE_DEB_BUILD:-build/deb}/CMakeCache.txt")
arch=$(dpkg --print-architecture)
echo "deb: $(basename "$deb"), $(stat -c %s "$deb") bytes"

[[ $(basename "$deb") == "zorvane_${version}_$arch.deb" ]] ||
  fail "file name $(basename "$deb"), expected zorvane_${version}_$arch.deb"

# lintian: no error, no warning, and no override that no longer matches anything.
lint=$(lintian --pedantic --display-info "$deb" 2>&1)
printf '%s\n' "$lint" | sed 's/^/  lintian: /'
if printf '%s\n' "$lint" | grep -qE '^[EW]: |unused-override|mismatched-override'; then
  fail "lintian reports errors, warnings or stale overrides"
else
  pass "lintian"
fi

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
while IFS='|' read -r name pattern; do
  [[ $(field "$name") =~ ^$pattern$ ]] && pass "$name" || fail "$name is [$(field "$name")], expected /$pattern/"
done <<EOT
Package|zorvane
Version|${version//./\\.}
Architecture|$arch
Maintainer|Zorvane developers <[^>]+@[^>]+>
Section|graphics
Priority|optional
Depends|(.*, )?libc6 \(>= [0-9.]+\), .*libqt6widgets6 \(>= [0-9.]+\).*
EOT
echo "deb: Depends: $(field Depends)"
conffiles=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)
[[ $conffiles == /etc/xdg/autostart/zorvane.desktop ]] && pass "conffiles" ||
  fail "conffiles: [$conffiles]"

# What it installs, with modes, owned by root: exactly this (directories aside).
expected=$(
  {
    echo "-rw-r--r-- ./etc/xdg/autostart/zorvane.desktop"
    echo "-rwxr-xr-x ./usr/bin/zorvane"
    for f in applications/zorvane.desktop doc/zorvane/changelog.gz doc/zorvane/copyright \
      man/man1/zorvane.1.gz metainfo/org.example.zorvane.metainfo.xml; do
      echo "-rw-r--r-- ./usr/share/$f"
    done
    for s in 16 22 24 32 48 64 128 256; do
      echo "-rw-r--r-- ./usr/share/icons/hicolor/${s}x$s/apps/zorvane.png"
    done
  } | sort
)
listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $NF }' | sort)
[[ $listed == "$expected" ]] && pass "file list" ||
  fail "file list differs (< expected, > in the package):$(diff <(echo "$expected") <(echo "$listed") | grep '^[<>]' | sed 's/^/ /')"
others=$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')
[[ -z $others ]] || fail "files not owned by root: $others"

tree=$scratch/root
dpkg-deb -x "$deb" "$tree" || { fail "dpkg-deb -x"; exit 1; }

# The desktop entries and the metainfo, as their validators see them.
for f in usr/share/applications/zorvane.desktop etc/xdg/autostart/zorvane.desktop; do
  out=$(desktop-file-validate "$tree/$f" 2>&1) && [[ -z $out ]] && pass "desktop-file-validate $f" ||
    fail "desktop-file-validate $f: $out"
  # Their command is the installed program, their icon one of the package's.
  exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$tree/$f")
  icon=$(sed -n 's/^Icon=//p' "$tree/$f")
  [[ -x $tree/usr/bin/$exec_cmd ]] || fail "$f: Exec=$exec_cmd is not in usr/bin"
  [[ -f $tree/usr/share/icons/hicolor/48x48/apps/$icon.png ]] || fail "$f: no icon $icon"
done
grep -qx 'X-GNOME-Autostart-enabled=true' "$tree/etc/xdg/autostart/zorvane.desktop" &&
  grep -qx 'TryExec=zorvane' "$tree/etc/xdg/autostart/zorvane.desktop" ||
  fail "the autostart entry is not on by default, or lacks its TryExec"
meta=$tree/usr/share/metainfo/org.example.zorvane.metainfo.xml
out=$(appstreamcli validate --no-net "$meta" 2>&1) && pass "appstreamcli validate" ||
  fail "appstreamcli validate: $out"
grep -q "<release version=\"$version\"" "$meta" || fail "the metainfo has no release $version"

# Each icon is a PNG of its folder's size with an alpha channel; the program is stripped;
# the manual page names the version.
for png in "$tree"/usr/share/icons/hicolor/*/apps/zorvane.png; do
  size=${png%/apps/*} size=${size##*/}
  seen=$(identify -format '%wx%h %[channels]' "$png" 2>&1)
  [[ $seen == "$size srgba" ]] || fail "icon $size: $seen"
done
file -b "$tree/usr/bin/zorvane" | grep -q ', stripped' || fail "usr/bin/zorvane is not stripped"
zcat "$tree/usr/share/man/man1/zorvane.1.gz" | grep -q "^\.TH ZORVANE 1 .*\"Zorvane $version\"" ||
  fail "the manual page does not name version $version"

# The extracted program runs the native startup scenario.
if ZORVANE_QT_EXE=$tree/usr/bin/zorvane E2E_ART=$scratch/e2e E2E_BACKEND=native \
  timeout 600 tests/e2e/startup.sh; then
  pass "startup scenario against the extracted usr/bin/zorvane"
else
  fail "startup scenario against the extracted usr/bin/zorvane (artifacts in build/deb-test/e2e)"
fi

((failures == 0)) && { echo "deb: all checks passed"; exit 0; }
echo "deb: $failures check(s) failed" >&2
exit 1
