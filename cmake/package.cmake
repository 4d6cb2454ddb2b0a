# The Debian package: what it installs beyond the executables, and CPack's DEB
# generator. `./dev.sh package` builds it; `cmake --install` installs the same
# files under any prefix.
include(GNUInstallDirs)

# The date of the release that project() names, for the AppStream release entry
# and the package changelog.
set(VENTORA_RELEASE_DATE "2026-12-07")
# Where the published screenshot lives. The repository names no public address,
# so the default is a reserved, never-resolving name; set the real one when the
# repository is published.
set(VENTORA_SCREENSHOT_URL "https://ventora.invalid/doc/screenshot.png"
  CACHE STRING "Web address of doc/screenshot.png, for the AppStream metadata")
set(VENTORA_APPSTREAM_ID "invalid.ventora.Ventora")

# Manual pages: roff sources in doc/, installed compressed as Debian wants them
# (gzip -9, no name or time stamp, so the package is reproducible).
set(man_sources ventora-cli.1 Ventora.1 ventora-sim.1)
set(man_outputs)
foreach(page IN LISTS man_sources)
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/doc/${page} > ${PROJECT_BINARY_DIR}/man/${page}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/${page}
    VERBATIM)
  list(APPEND man_outputs ${PROJECT_BINARY_DIR}/man/${page}.gz)
endforeach()
add_custom_target(ventora_man ALL DEPENDS ${man_outputs})
# The demo is the same window, so it shares the window's page.
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man)
file(CREATE_LINK Ventora.1.gz ${PROJECT_BINARY_DIR}/man/Ventora-demo.1.gz SYMBOLIC)
install(FILES ${man_outputs} ${PROJECT_BINARY_DIR}/man/Ventora-demo.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

configure_file(app/res/ventora.metainfo.xml.in
  ${PROJECT_BINARY_DIR}/metainfo/${VENTORA_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/metainfo/${VENTORA_APPSTREAM_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES app/res/ventora-demo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# Debian's documentation directory: the copyright file and, for a package
# without a Debian revision, changelog.gz.
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ventora maintainers <maintainers@users.noreply.c-seed-33a77f16.example>"
  CACHE STRING "The package's Maintainer field")
execute_process(COMMAND date -u -R -d "${VENTORA_RELEASE_DATE} 12:00"
  OUTPUT_VARIABLE VENTORA_RELEASE_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9 -n -f -k ${PROJECT_BINARY_DIR}/packaging/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(ventora_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ventora)

# A line watched as a service: the template unit and an example of its
# configuration. Debian 12's systemd reads units from /lib/systemd/system.
set(VENTORA_SYSTEMD_UNIT_DIR "/lib/systemd/system" CACHE PATH "Where systemd units are installed")
install(FILES packaging/ventora-watch@.service DESTINATION ${VENTORA_SYSTEMD_UNIT_DIR})
install(FILES packaging/line.conf DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ventora/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ventora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration tool for RS-485 duct air-velocity transmitters")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries: the window cannot open without Qt's platform plugins
# (libqt6gui6 only recommends them), and its OK buttons read "确定" only with
# Qt's Chinese translation.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The long description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Ventora configures duct air-velocity transmitters on an RS-485 line. It finds
the transmitter's baud rate (2400, 4800 or 9600 bit/s) and dialect (FD frames
or Modbus RTU), reads and changes its bus address and baud rate, shows the
live air velocity and air volume, and reads and writes the duct area.
.
The package holds the window (Simplified Chinese), a demo of the window with a
simulated transmitter, the command-line tool ventora-cli, a systemd service
that watches a line unattended (ventora-watch@NAME), and ventora-sim, a
simulated transmitter on a pseudo-terminal for testing scripts.")
include(CPack)
