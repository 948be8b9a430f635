#!/usr/bin/env bash
# make-msi.sh STAGE VERSION OUT: the per-user MSI from STAGE (Zorvane.exe,
# ZorvaneSetup.dll, zorvane.ico), with product version VERSION.
set -euo pipefail
stage=$1 version=$2 out=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cp "$here/Zorvane.wxs" "$stage/"
# wixl looks for sources relative to the folder it runs in; its GLib chatter is noise.
(cd "$stage" && wixl -a x64 -D Version="$version" -D ExePath=Zorvane.exe \
  -D IconPath=zorvane.ico -D HelperDll=ZorvaneSetup.dll -o "$out.tmp" Zorvane.wxs 2>&1 |
  grep -v -e 'GLib-GObject-WARNING' -e '^$' || true)
[[ -s $out.tmp ]] || { echo "make-msi: wixl made nothing" >&2; exit 1; }
# What wixl cannot say: the start-at-sign-in entry's condition, and that an install of
# the same version replaces it (the upgrade row includes its upper version).
msibuild "$out.tmp" -q "UPDATE Component SET Condition = 'AUTOSTART <> \"0\"' WHERE Component = 'Autostart'"
# (Attributes is part of the Upgrade table's key: the row is written anew.)
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' "$here/Zorvane.wxs")
msibuild "$out.tmp" -q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'"
msibuild "$out.tmp" -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) \
VALUES ('{$upgrade_code}', '$version', 513, 'WIX_UPGRADE_DETECTED')"
mv "$out.tmp" "$out"
