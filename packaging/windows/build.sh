# Sourced by scripts/package: builds the per-user MSI and the portable zip into $dist and
# adds them to made. Both hold the same Zorvane.exe (a Release build, stripped).
# ZORVANE_PACKAGE_WINDOWS_BUILD names another Release build folder to make them from
# (scripts/test's build/windows).
win_build=${ZORVANE_PACKAGE_WINDOWS_BUILD:-$root/build/package-windows}
cmake -S "$root" -B "$win_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$win_build" --target Zorvane ZorvaneSetup
win_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win_build/CMakeCache.txt")

win_stage=$win_build/stage
rm -rf "$win_stage" && mkdir -p "$win_stage/zip"
for f in Zorvane.exe ZorvaneSetup.dll; do
  x86_64-w64-mingw32-strip -o "$win_stage/$f" "$win_build/$f"
done
cp "$root/assets/zorvane.ico" "$win_stage/"

win_msi=$dist/Zorvane-$win_version-x64.msi
bash "$root/packaging/windows/make-msi.sh" "$win_stage" "$win_version" "$win_msi"
made+=("$win_msi")

# The zip: the exe, a short README in Japanese and English, the licence; text with
# Windows line ends.
cp "$win_stage/Zorvane.exe" "$win_stage/zip/"
sed "s/@VERSION@/$win_version/; s/\$/\r/" "$root/packaging/windows/README.txt" >"$win_stage/zip/README.txt"
sed 's/$/\r/' "$root/LICENSE" >"$win_stage/zip/LICENSE.txt"
win_zip=$dist/Zorvane-$win_version-x64.zip
rm -f "$win_zip"
(cd "$win_stage/zip" && python3 -c '
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for name in sys.argv[2:]:
        z.write(name)' "$win_zip" Zorvane.exe README.txt LICENSE.txt)
made+=("$win_zip")
