# Read by cpack for each generator: the setup program carries the version in its name, the zip
# keeps the name players and scripts already know.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "zorvalen-${CPACK_PACKAGE_VERSION}-windows-x86_64-setup")
endif()
