# Installation under the usual prefixes and the Debian package made from it
# (cpack -G DEB; its dependencies are computed by dpkg-shlibdeps).
include(GNUInstallDirs)

# Installed names carry the kit's prefix: a bare "make-bin-image" in a shared
# bin folder would say nothing about what it belongs to.
install(TARGETS shellfit imagefit fitkit fitkit-make-bin-image
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/tools/fitkit-device.sh
        DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME fitkit-device)
install(FILES ${PROJECT_SOURCE_DIR}/fitkit/fitkit.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME fitkit)

# fitkit-device is a script: its --version is written in it, and must be the kit's.
file(STRINGS ${PROJECT_SOURCE_DIR}/tools/fitkit-device.sh FITKIT_DEVICE_VERSION
     REGEX "^version=" LIMIT_COUNT 1)
if(NOT FITKIT_DEVICE_VERSION MATCHES "^version=${PROJECT_VERSION} ")
  message(FATAL_ERROR "tools/fitkit-device.sh says ${FITKIT_DEVICE_VERSION}; the kit is ${PROJECT_VERSION}")
endif()

# Man pages, compressed as Debian keeps them where gzip is at hand.
set(FITKIT_MAN_PAGES shellfit imagefit fitkit fitkit-device fitkit-make-bin-image)
find_program(GZIP_PROGRAM gzip)
foreach(page ${FITKIT_MAN_PAGES})
  set(source ${PROJECT_SOURCE_DIR}/docs/man/${page}.1)
  if(GZIP_PROGRAM)
    set(packed ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${packed}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${GZIP_PROGRAM} -9nc ${source} > ${packed}
      DEPENDS ${source} VERBATIM)
    list(APPEND FITKIT_MAN_FILES ${packed})
  else()
    list(APPEND FITKIT_MAN_FILES ${source})
  endif()
endforeach()
add_custom_target(man_pages ALL DEPENDS ${FITKIT_MAN_FILES})
install(FILES ${FITKIT_MAN_FILES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# What Debian wants beside the documents: the copyright and the changelog
# (compressed; a package without a Debian revision is native, its changelog
# is changelog.gz).
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(GZIP_PROGRAM)
  set(FITKIT_CHANGELOG ${PROJECT_BINARY_DIR}/debian/changelog.gz)
  add_custom_command(OUTPUT ${FITKIT_CHANGELOG}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/debian
    COMMAND ${GZIP_PROGRAM} -9nc ${PROJECT_SOURCE_DIR}/cmake/debian/changelog > ${FITKIT_CHANGELOG}
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog VERBATIM)
  add_custom_target(debian_changelog ALL DEPENDS ${FITKIT_CHANGELOG})
  install(FILES ${FITKIT_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

file(GLOB FITKIT_DOCS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md ${PROJECT_SOURCE_DIR}/docs/*.png)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${FITKIT_DOCS} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME fitkit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "fitkit developers <fitkit@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "field-update kit rehearsed on a simulated device: shellfit and imagefit")
# The summary above is the description's first line; this is the rest.
set(CPACK_PACKAGE_DESCRIPTION
    "shellfit replaces a device's shell software with the contents of a ZIP
package; imagefit programs boot loaders and OS images through the flash
update driver. On Linux both run against a device root, a folder made with
fitkit-device that stands for one device. FITKIT_REPORT=<file> makes either
program write a JSON report of what happened. The fitkit command checks,
inspects and rehearses packages and image sets, with exit codes a CI job
can gate on.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# fitkit-device needs bash, coreutils, sed, grep, iconv and awk, which every
# Debian system has (lintian refuses a dependency on awk). zip makes shell
# packages to rehearse with, minisign signs them, xvfb shows the dialogs
# without a screen.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "zip, minisign, xvfb")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
