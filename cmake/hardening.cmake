# Debian's hardening flags (dpkg-buildflags with every hardening feature) for
# the optimised builds of the Linux host: stack protector, fortified functions,
# format checks, position-independent executables, read-only relocations bound
# at start. Not for the sanitizer and fuzzing builds, nor without optimisation
# (fortified functions need it).
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
option(FITKIT_HARDENING "Build with dpkg-buildflags' hardening flags" ON)
if(FITKIT_HARDENING AND DPKG_BUILDFLAGS AND FITKIT_HOST STREQUAL "linux"
   AND NOT FITKIT_SANITIZE AND NOT FITKIT_FUZZ
   AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    # Only the hardening: the optimisation and debug level stay the build type's.
    list(FILTER flags EXCLUDE REGEX "^-(O[0-9s]?|g)$|^-ffile-prefix-map=|^-fdebug-prefix-map=")
    set(FITKIT_HARDENING_${kind} ${flags})
  endforeach()
  # C and C++ get the same flags from dpkg-buildflags.
  add_compile_options(${FITKIT_HARDENING_CPPFLAGS} ${FITKIT_HARDENING_CXXFLAGS})
  add_link_options(${FITKIT_HARDENING_LDFLAGS})
  message(STATUS "Hardening flags from dpkg-buildflags: ${FITKIT_HARDENING_CXXFLAGS} ${FITKIT_HARDENING_LDFLAGS}")
endif()
