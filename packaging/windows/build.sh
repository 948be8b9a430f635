# Sourced by scripts/package: builds the MSI and the portable zip into $dist and adds
# them to made.
echo "package: the Windows installer is not built yet" >&2
