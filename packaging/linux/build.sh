# Sourced by scripts/package: builds the Debian package into $dist and adds it to made.
echo "package: the Debian package is not built yet" >&2
