#!/usr/bin/env bash
# The layers of src/, ground first: core (pure logic and data), app (the program over the
# platform interface), then one platform. A file includes only from its own layer or below;
# a platform never from the other one. Usage: tests/layers.sh [ROOT]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root/src"
allowed() {
  case $1 in
    core/*) echo "core" ;;
    app/*) echo "core app" ;;
    platform/win32/*) echo "core app platform/win32" ;;
    platform/qt/*) echo "core app platform/qt" ;;
    *) echo "?" ;;
  esac
}
bad=0 checked=0
while IFS= read -r file; do
  layers=$(allowed "$file")
  while IFS= read -r inc; do
    checked=$((checked + 1))
    ok=0
    for layer in $layers; do
      [[ $inc == "$layer"/* ]] && ok=1
    done
    # A header beside the file, by its bare name.
    [[ $inc != */* && -e $(dirname "$file")/$inc ]] && ok=1
    if ((!ok)); then
      echo "layers: $file includes \"$inc\", above its layer or beside it" >&2
      bad=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find core app platform -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
# The portable layers see no system's windows.
if grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(windows|winuser|shellapi|Q[A-Za-z]*|X11/|xcb/)' \
    -r core app >&2; then
  echo "layers: a portable file includes a platform's header" >&2
  bad=1
fi
((checked > 0)) || { echo "layers: no includes found under $root/src" >&2; exit 1; }
((bad == 0)) && echo "layers: $checked includes, each from its own layer or below"
exit $bad
