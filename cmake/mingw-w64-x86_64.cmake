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

# stb, CLI11, toml++ and nlohmann-json are header-only and the same for every target, but Debian ships them
# only among the Linux headers. Putting those on the include path would shadow the mingw C
# library, so a root of our own holds nothing but links to their folders, and the normal
# search finds them.
set(ZORVALEN_HOST_HEADER_DIR /usr/include CACHE PATH "Where Debian's header-only libraries are (libstb-dev, libcli11-dev, libtomlplusplus-dev, nlohmann-json3-dev)")
if(NOT CMAKE_IN_TRY_COMPILE)
  set(_zorvalen_host_root "${CMAKE_BINARY_DIR}/host-headers")
  foreach(_zorvalen_folder stb CLI toml++ nlohmann)
    if(EXISTS "${ZORVALEN_HOST_HEADER_DIR}/${_zorvalen_folder}" AND NOT EXISTS "${_zorvalen_host_root}/include/${_zorvalen_folder}")
      file(MAKE_DIRECTORY "${_zorvalen_host_root}/include")
      file(CREATE_LINK "${ZORVALEN_HOST_HEADER_DIR}/${_zorvalen_folder}" "${_zorvalen_host_root}/include/${_zorvalen_folder}" SYMBOLIC)
    endif()
  endforeach()
  list(APPEND CMAKE_FIND_ROOT_PATH "${_zorvalen_host_root}")
endif()
