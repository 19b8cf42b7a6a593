# What a desktop install carries besides the programs (icons at each size, manual
# pages, shell completion, AppStream metadata, the Debian documentation files) and
# the Debian package made of the install: scripts/package.sh builds it, tests/package
# checks it.

include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(_ovrin_resources ${CMAKE_SOURCE_DIR}/resources)
set(_ovrin_generated ${CMAKE_BINARY_DIR}/share)

# The application icon as PNGs for the hicolor theme, rendered from the scalable one
# (menus and docks that do not draw SVG pick these).
find_program(OVRIN_RSVG_CONVERT rsvg-convert)
if(OVRIN_RSVG_CONVERT)
  set(_ovrin_icons)
  foreach(size IN ITEMS 16 22 24 32 48 64 128 256)
    set(_icon ${_ovrin_generated}/icons/${size}x${size}/org.ovrin.menubarapp.png)
    add_custom_command(
      OUTPUT ${_icon}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_ovrin_generated}/icons/${size}x${size}
      COMMAND ${OVRIN_RSVG_CONVERT} -w ${size} -h ${size} -o ${_icon}
              ${_ovrin_resources}/org.ovrin.menubarapp.svg
      DEPENDS ${_ovrin_resources}/org.ovrin.menubarapp.svg
      VERBATIM)
    install(FILES ${_icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    list(APPEND _ovrin_icons ${_icon})
  endforeach()
  add_custom_target(ovrin_icons ALL DEPENDS ${_ovrin_icons})
else()
  message(WARNING "rsvg-convert (librsvg2-bin) not found: the PNG application icons are not "
                  "built or installed (scripts/setup.sh installs it)")
endif()

# Manual pages, compressed without a name or time stamp so that builds are reproducible.
set(_ovrin_manpages)
foreach(page IN ITEMS ovrin.1 ovrinctl.1)
  set(_page ${_ovrin_generated}/man/${page})
  add_custom_command(
    OUTPUT ${_page}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${_ovrin_resources}/man/${page} ${_page}
    COMMAND gzip -9nf ${_page}
    DEPENDS ${_ovrin_resources}/man/${page}
    VERBATIM)
  install(FILES ${_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  list(APPEND _ovrin_manpages ${_page}.gz)
endforeach()

# The package's change log, compressed the same way; a native package names it changelog.gz.
set(_ovrin_changelog ${_ovrin_generated}/doc/changelog)
add_custom_command(
  OUTPUT ${_ovrin_changelog}.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${_ovrin_resources}/debian/changelog ${_ovrin_changelog}
  COMMAND gzip -9nf ${_ovrin_changelog}
  DEPENDS ${_ovrin_resources}/debian/changelog
  VERBATIM)
add_custom_target(ovrin_docs ALL DEPENDS ${_ovrin_manpages} ${_ovrin_changelog}.gz)

install(FILES ${_ovrin_resources}/bash-completion/ovrinctl
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${_ovrin_resources}/org.ovrin.menubarapp.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_ovrin_resources}/debian/copyright ${_ovrin_changelog}.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ovrin)

# The Debian package: ovrin_<version>_<arch>.deb, installing under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ovrin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Ovrin developers <dev@ovrin.test>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tray VPN client (the bundled helper only simulates tunnels)")
# CPack puts the summary above this as the first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Ovrin is a VPN client for the desktop that lives in the system tray. Its window
shows the channels, the connection state and live metrics, and switches strict
protection, launch at login and connecting at start-up. ovrinctl drives it from
the command line. The interface is in Russian.

The application carries no traffic itself: a separate program, the helper, owns
the tunnels. The helper bundled with this package is a reference helper that
simulates tunnels and the account service on this computer. It carries no
traffic, opens no tunnel and never touches the firewall.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ovrin developers <dev@ovrin.test>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends comes from the programs' shared libraries (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own texts (file panels, standard buttons) in Russian.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_STRIP_FILES ON)
include(CPack)
