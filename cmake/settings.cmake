# Build-time identity of the launcher: one game, one channel per build.
set(FERNLITE_GAME_TITLE "岚岫奇谭" CACHE STRING "Game title")
set(FERNLITE_GAME_CODE "qmzt" CACHE STRING "Short game code (file name prefix, report gid)")
set(FERNLITE_EXE_NAME "vexa_qmzt.exe" CACHE STRING "File name of the installed copy")
set(FERNLITE_DEFAULT_CHANNEL "281" CACHE STRING "Channel used when /C is absent and the channel is fixed")
set(FERNLITE_DEFAULT_SUBCHANNEL "407" CACHE STRING "Sub-channel used when /CC is absent and the channel is fixed")
option(FERNLITE_FIXED_CHANNEL "Use the built-in channel identifiers instead of the generic defaults" ON)
option(FERNLITE_RUN_AFTER_INSTALL "Start the installed copy after a self-install" ON)

# Platform hosts (scheme and host, no trailing slash). FERNLITE_PLATFORM replaces them at run time.
set(FERNLITE_GAME_HOST "http://game.quenbrell.com" CACHE STRING "Game site: guest pages, link.php, pay")
set(FERNLITE_STATIC_HOST "http://static.quenbrell.com" CACHE STRING "Static file server: upgrade description")
set(FERNLITE_DATA_COLLECTOR "http://jk.quenbrell.com" CACHE STRING "Data-collection endpoint host")
set(FERNLITE_STATS_COLLECTOR "http://tj.quenbrell.com" CACHE STRING "Statistics endpoint host")
set(FERNLITE_PORTAL_HOST "http://www.quenbrell.com" CACHE STRING "Game portal")
set(FERNLITE_FORUM_HOST "http://bbs.quenbrell.com" CACHE STRING "Forum site")
# Linux: PEM certificates trusted for upgrade signatures besides the system store.
set(FERNLITE_UPGRADE_CA_FILE "" CACHE FILEPATH "Extra CA certificates for upgrade signatures (Linux)")

if(FERNLITE_FIXED_CHANNEL)
  set(FERNLITE_FIXED_CHANNEL_VALUE 1)
else()
  set(FERNLITE_FIXED_CHANNEL_VALUE 0)
endif()
if(FERNLITE_RUN_AFTER_INSTALL)
  set(FERNLITE_RUN_AFTER_INSTALL_VALUE 1)
else()
  set(FERNLITE_RUN_AFTER_INSTALL_VALUE 0)
endif()

set(FERNLITE_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/build_config.h.in ${CMAKE_BINARY_DIR}/generated/build_config.h @ONLY)
file(WRITE ${CMAKE_BINARY_DIR}/generated/build_config_rc.h.in
  "#define FERNLITE_VERSION_COMMAS @FERNLITE_VERSION_COMMAS@\n#define FERNLITE_VERSION_TEXT \"@PROJECT_VERSION@\"\n")
configure_file(${CMAKE_BINARY_DIR}/generated/build_config_rc.h.in ${CMAKE_BINARY_DIR}/generated/build_config_rc.h @ONLY)
