# Cross-compiles the game for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZORVALEN_MINGW_PREFIX x86_64-w64-mingw32 CACHE STRING "Target triplet of the mingw-w64 tools")
set(CMAKE_C_COMPILER ${ZORVALEN_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${ZORVALEN_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${ZORVALEN_MINGW_PREFIX}-windres)

# Headers and libraries come from the mingw-w64 sysroot only, never from the Linux system.
set(CMAKE_FIND_ROOT_PATH /usr/${ZORVALEN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# stb is header-only and the same for every target, but Debian ships it only among the
# Linux headers. Putting those on the include path would shadow the mingw C library, so a
# root of our own holds nothing but a link to the stb folder, and the normal search finds it.
set(ZORVALEN_HOST_STB_DIR /usr/include/stb CACHE PATH "Folder of the stb headers (Debian's libstb-dev)")
if(NOT CMAKE_IN_TRY_COMPILE)
  set(_zorvalen_stb_root "${CMAKE_BINARY_DIR}/stb-root")
  if(EXISTS "${ZORVALEN_HOST_STB_DIR}/stb_image.h" AND NOT EXISTS "${_zorvalen_stb_root}/include/stb/stb_image.h")
    file(MAKE_DIRECTORY "${_zorvalen_stb_root}/include")
    file(CREATE_LINK "${ZORVALEN_HOST_STB_DIR}" "${_zorvalen_stb_root}/include/stb" SYMBOLIC)
  endif()
  list(APPEND CMAKE_FIND_ROOT_PATH "${_zorvalen_stb_root}")
endif()
