# Sourced by scripts/package (root, dist and made set): builds the Debian package
# zorvane_VERSION_ARCH.deb with CPack from a Release build of its own (build/deb, prefix
# /usr, Debian's hardening flags), copies it to $dist and adds it to made.
deb_build=$root/build/deb
deb_flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S "$root" -B "$deb_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  -DCMAKE_C_FLAGS="$(deb_flags CPPFLAGS) $(deb_flags CFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(deb_flags CPPFLAGS) $(deb_flags CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(deb_flags LDFLAGS)" >/dev/null
# Only what the package holds: not the tests.
cmake --build "$deb_build" --target ZorvaneQt zorvane_linux_files
deb_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$deb_build/CMakeCache.txt")
deb_file=zorvane_${deb_version}_$(dpkg --print-architecture).deb
rm -f "$deb_build/$deb_file"
(cd "$deb_build" && cpack -G DEB >cpack.log 2>&1) ||
  { cat "$deb_build/cpack.log" >&2; echo "package: cpack failed" >&2; false; }
cp "$deb_build/$deb_file" "$dist/"
made+=("$dist/$deb_file")
