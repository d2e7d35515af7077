# Installation under the usual prefixes and the Debian package made from it
# (cpack -G DEB; its dependencies are computed by dpkg-shlibdeps).
include(GNUInstallDirs)

install(TARGETS shellfit imagefit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Installed names carry the kit's prefix: a bare "make-bin-image" in a shared
# bin folder would say nothing about what it belongs to.
install(PROGRAMS $<TARGET_FILE:make-bin-image>
        DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME fitkit-make-bin-image)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/tools/fitkit-device.sh
        DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME fitkit-device)

# Man pages, compressed as Debian keeps them where gzip is at hand.
set(FITKIT_MAN_PAGES shellfit imagefit fitkit-device)
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
program write a JSON report of what happened.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# fitkit-device needs nothing beyond Debian's essential packages; zip makes
# shell packages to rehearse with.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "zip, xvfb")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
