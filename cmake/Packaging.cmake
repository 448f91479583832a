# The packages made from an installation by CPack: on Linux a Debian package
# (scripts/package-linux), on Windows an installer (scripts/package-windows).
# Both hold what `cmake --install` puts into its prefix.

set(PW_PACKAGE_MAINTAINER "Packetwright developers <maintainers@packetwright.example>"
    CACHE STRING "The packages' maintainer: a name and an address")

set(CPACK_PACKAGE_NAME packetwright)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "archive jobs for a command-line archiver, run and journalled")
# Wrapped for the package's control file, whose lines stay within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION [=[
Packetwright turns a list of directories into jobs for an outside
command-line archiver such as 7-Zip. Each directory names a rule: file
masks whose files are the only ones archived, or are left out. It runs
the jobs of one or of all marked directories, tests each new archive,
journals every job, prunes old archives by keep rules and installs a
nightly run with the system's scheduler. packetwright-cli does the same
without the window.]=])
set(CPACK_PACKAGE_CONTACT "${PW_PACKAGE_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Packetwright)

if(NOT WIN32)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # packetwright_<version>_<architecture>.deb; a version without a revision
  # makes a package of its own sources, whose changelog is changelog.gz.
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PW_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries the programs link, as dpkg-shlibdeps finds their packages.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The archiver that the first start offers and that tests each new archive.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS 7zip)

  # The copyright file and the changelog where Debian's tools look for them,
  # the changelog compressed without a name or time of its own.
  set(doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/packetwright)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${doc})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
  find_program(PW_GZIP gzip REQUIRED)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    COMMAND ${PW_GZIP} -9nkf ${CMAKE_BINARY_DIR}/packaging/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog VERBATIM)
  add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${doc})
else()
  # Packetwright-<version>-win64-setup.exe, from packaging/NSIS.template.in.
  set(CPACK_GENERATOR NSIS)
  list(PREPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/packaging)
  set(CPACK_PACKAGE_FILE_NAME "Packetwright-${PROJECT_VERSION}-win64-setup")
  set(CPACK_NSIS_PACKAGE_NAME Packetwright)
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Packetwright)
  set(CPACK_PW_ICON_ICO ${PW_ICON_ICO})
  # The programs take this file beside them for the sign of an installation
  # (kUninstallerName, platform/SettingsLocation.h).
  set(CPACK_PW_UNINSTALLER_NAME Uninstall.exe)
  if(CMAKE_CROSSCOMPILING)
    # The cross build installs no Qt and no help, which only a native build
    # can fill: scripts/package-windows gathers the programs' folder, as the
    # zip holds it, here.
    set(CPACK_INSTALL_CMAKE_PROJECTS "")
    set(CPACK_INSTALLED_DIRECTORIES "${CMAKE_BINARY_DIR}/installer-files;.")
  endif()
endif()

include(CPack)
