# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64).
# Programs are linked statically, so the .exe files need no DLLs beyond the
# system's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FITKIT_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model: std::thread (the package check's workers) needs it
# with GCC 12; winpthread is linked statically with the rest.
set(CMAKE_C_COMPILER ${FITKIT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FITKIT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FITKIT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FITKIT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The static zlib (libz.a), never the import library of zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(FITKIT_HOST win32 CACHE STRING "The host the services are built for")
