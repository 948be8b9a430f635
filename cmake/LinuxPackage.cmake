# Install rules and the Debian package (cpack -G DEB) of the Linux build: the program as
# bin/zorvane, its desktop entry, autostart entry, icons, AppStream metainfo, manual page,
# copyright and changelog. Sources in packaging/linux; packaging/linux/build.sh drives it.
include(GNUInstallDirs)

set(ZORVANE_MAINTAINER "Zorvane developers <zorvane@users.noreply.example>")
# AppStream wants a reverse-DNS id; the project has no domain of its own yet, so it sits
# under the reserved example domain.
set(ZORVANE_APP_ID org.example.zorvane)
# The day PROJECT_VERSION was released: changelog, manual page and metainfo.
set(ZORVANE_RELEASE_DATE 2026-12-07)
# Sizes of the PNG icons in hicolor: the menus' and panels' usual sizes up to 256.
set(ZORVANE_ICON_SIZES 16 22 24 32 48 64 128 256)

set(pkg_src ${PROJECT_SOURCE_DIR}/packaging/linux)
set(pkg_out ${CMAKE_BINARY_DIR}/linux)

execute_process(COMMAND date -u -R -d "${ZORVANE_RELEASE_DATE} 12:00"
  OUTPUT_VARIABLE ZORVANE_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)

# copyright: the licence and its copyright line come from LICENSE, in deb822 form (the
# text indented one space, blank lines as " .").
file(READ ${PROJECT_SOURCE_DIR}/LICENSE pkg_license)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _ "${pkg_license}")
set(ZORVANE_COPYRIGHT ${CMAKE_MATCH_1})
string(REGEX REPLACE "^.*\n(Permission is hereby)" "\\1" pkg_license "${pkg_license}")
string(STRIP "${pkg_license}" pkg_license)
string(REGEX REPLACE "\n\n" "\n.\n" pkg_license "${pkg_license}")
string(REPLACE "\n" "\n " ZORVANE_LICENSE_TEXT " ${pkg_license}")

configure_file(${pkg_src}/copyright.in ${pkg_out}/copyright @ONLY)
configure_file(${pkg_src}/metainfo.xml.in ${pkg_out}/${ZORVANE_APP_ID}.metainfo.xml @ONLY)
configure_file(${pkg_src}/zorvane.1.in ${pkg_out}/zorvane.1 @ONLY)
configure_file(${pkg_src}/changelog.in ${pkg_out}/changelog @ONLY)

set(pkg_made)
foreach(f zorvane.1 changelog)
  # -n: no name or time stamp inside, so the same sources make the same package
  add_custom_command(OUTPUT ${pkg_out}/${f}.gz
    COMMAND gzip -9nf -k ${pkg_out}/${f}
    DEPENDS ${pkg_out}/${f} VERBATIM)
  list(APPEND pkg_made ${pkg_out}/${f}.gz)
endforeach()
foreach(size ${ZORVANE_ICON_SIZES})
  add_custom_command(OUTPUT ${pkg_out}/icon-${size}.png
    COMMAND python3 ${PROJECT_SOURCE_DIR}/tools/make_icon.py --png ${size} ${pkg_out}/icon-${size}.png
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/make_icon.py VERBATIM)
  list(APPEND pkg_made ${pkg_out}/icon-${size}.png)
  install(FILES ${pkg_out}/icon-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME zorvane.png)
endforeach()
add_custom_target(zorvane_linux_files ALL DEPENDS ${pkg_made})

# The executable is ZorvaneQt in the build (the tests run it there) and zorvane installed.
install(PROGRAMS $<TARGET_FILE:ZorvaneQt> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME zorvane)
# install(PROGRAMS) is not stripped by install/strip or CPACK_STRIP_FILES: done here,
# the way Debian strips executables.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/zorvane\"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()")
install(FILES ${pkg_src}/zorvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${pkg_src}/zorvane-autostart.desktop
  DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart RENAME zorvane.desktop)
install(FILES ${pkg_out}/${ZORVANE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${pkg_out}/zorvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${pkg_out}/copyright ${pkg_out}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zorvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorvane)
set(CPACK_PACKAGE_VENDOR "Zorvane developers")
set(CPACK_PACKAGE_CONTACT ${ZORVANE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # zorvane_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ZORVANE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${pkg_src}/conffiles)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "show one picture on the desktop, cut to its outline")
# The synopsis above is the Description's first line; this the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Zorvane is a small tray utility that puts one picture on the desktop, in a
frameless window of the picture's size. With Transparent on, the mask colour
(green) becomes see-through, so the window takes the picture's shape. It can
stay always on top, and it starts at sign-in through an XDG autostart entry.")
include(CPack)
