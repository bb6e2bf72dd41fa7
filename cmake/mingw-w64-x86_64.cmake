# Cross build for 64-bit Windows with Debian's mingw-w64 toolchain (posix threads, so that
# std::thread, std::jthread and std::stop_token exist). TAVIX_WINDOWS_PREFIX names the folder
# holding the libraries built for Windows (scripts/build-windows); headers and libraries are only
# looked for there and in the toolchain's own tree, never in the host's /usr.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(tavix_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${tavix_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${tavix_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${tavix_mingw}-windres)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TAVIX_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/${tavix_mingw})
if(TAVIX_WINDOWS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${TAVIX_WINDOWS_PREFIX})
  list(APPEND CMAKE_PREFIX_PATH ${TAVIX_WINDOWS_PREFIX})
  # pkg-config sees only the Windows libraries.
  set(ENV{PKG_CONFIG_LIBDIR} ${TAVIX_WINDOWS_PREFIX}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
