# Sourced by scripts/package (root, dist and made set): builds the Debian package
# zorvane_VERSION_ARCH.deb with CPack from a Release build of its own (build/deb, prefix
# /usr, Debian's hardening flags: packaging/linux/configure.sh), copies it to $dist and
# adds it to made. ZORVANE_DEB_BUILD names another build folder configured the same way
# to make it from (scripts/test's build/native).
deb_build=${ZORVANE_DEB_BUILD:-$root/build/deb}
source "$root/packaging/linux/configure.sh"
deb_configure "$root" "$deb_build"
# Only what the package holds: not the tests.
cmake --build "$deb_build" --target ZorvaneQt zorvane_linux_files
deb_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$deb_build/CMakeCache.txt")
deb_file=zorvane_${deb_version}_$(dpkg --print-architecture).deb
rm -f "$deb_build/$deb_file"
(cd "$deb_build" && cpack -G DEB >cpack.log 2>&1) ||
  { cat "$deb_build/cpack.log" >&2; echo "package: cpack failed" >&2; false; }
cp "$deb_build/$deb_file" "$dist/"
made+=("$dist/$deb_file")
