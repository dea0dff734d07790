# The Debian packages, made by `cpack` in the build folder:
#   quor          the program without a window, its manual pages and service
#                 units; depends on nothing of Qt;
#   quor-desktop  the window part, the menu entry and the icon; depends on quor
#                 of the same version and on the Qt libraries.
# Depends lines come from dpkg-shlibdeps, run over the installed programs.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quor)
set(CPACK_PACKAGE_VENDOR "Quor Mail Processor developers")
set(CPACK_PACKAGE_CONTACT "Quor Mail Processor developers <quor@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
# The units name the program by its installed path: install into the real
# prefix under a staging DESTDIR, not into a staging prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL quor)
if(TARGET quor-desktop)
  list(APPEND CPACK_COMPONENTS_ALL desktop)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
  OUTPUT_STRIP_TRAILING_WHITESPACE)
# What the package test expects to find.
set(QUOR_PACKAGE_VERSION "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
set(QUOR_PACKAGE_VERSION "${QUOR_PACKAGE_VERSION}" PARENT_SCOPE)
set(QUOR_PACKAGE_ARCH "${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}" PARENT_SCOPE)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_QUOR_PACKAGE_NAME quor)
set(CPACK_COMPONENT_QUOR_DESCRIPTION
  "unattended POP3 mail-processing agent
Quor Mail Processor logs in to POP3 mailboxes at a fixed interval, parses the
messages that arrived since its last visit and offers each to mail agents:
conditions on the message's fields, extraction of named values from its
text, and actions such as forwarding, sending, saving attachments or data,
running a program and deleting the message on the server.

This package holds the program without its desktop window, to run on a
server or as a systemd user service; quor-desktop adds the control panel.")

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME quor-desktop)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION mail)
set(CPACK_COMPONENT_DESKTOP_DEPENDS quor)
# Loaded as a plugin, so dpkg-shlibdeps cannot see it: draws the window's icon.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS libqt6svg6)
set(CPACK_COMPONENT_DESKTOP_DESCRIPTION
  "desktop control panel of the Quor Mail Processor
The Qt window that quor opens when a display is present: start, stop and
reset the passes, watch the activity log, and set up the mailboxes, the
settings and the mail agents. Includes the menu entry and the icon.")

# Each package carries the Debian changelog in its documentation folder.
# string(TIMESTAMP) follows SOURCE_DATE_EPOCH when it is set.
string(TIMESTAMP QUOR_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(changelog.Debian.in changelog.Debian @ONLY)
set(quor_changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${quor_changelog}
  COMMAND gzip -9 -n -k -f ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian VERBATIM)
add_custom_target(quor_changelog ALL DEPENDS ${quor_changelog})
install(FILES ${quor_changelog} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quor COMPONENT quor)
if(TARGET quor-desktop)
  install(FILES ${quor_changelog} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quor-desktop
    COMPONENT desktop)
  install(FILES quor-desktop.lintian-overrides DESTINATION
    ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME quor-desktop COMPONENT desktop)
endif()

include(CPack)
