# Sourced by packaging/linux/build.sh and scripts/test. deb_configure SOURCE BUILD
# configures BUILD the way the Debian package is built: Release, prefix /usr, Debian's
# hardening flags (dpkg-buildflags, as for a package built in SOURCE). scripts/test builds
# build/native so, runs the tests on it, and makes the package from it.
deb_configure() {
  local src=$1 dir=$2
  deb_flags() { (cd "$src" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"); }
  cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
    -DCMAKE_C_FLAGS="$(deb_flags CPPFLAGS) $(deb_flags CFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(deb_flags CPPFLAGS) $(deb_flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(deb_flags LDFLAGS)" >/dev/null
}
