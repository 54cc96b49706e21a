# System libraries and third-party code for the chosen build.
add_library(fernlite_system_libs INTERFACE)
find_package(Threads REQUIRED)

if(WIN32)
  target_compile_definitions(fernlite_system_libs INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  target_link_libraries(fernlite_system_libs INTERFACE
    advapi32 shell32 shlwapi ole32 oleaut32 uuid user32 gdi32 comctl32 iphlpapi version
    crypt32 wintrust wininet ws2_32 oleacc)

else()
  find_package(PkgConfig REQUIRED)
  find_package(OpenSSL REQUIRED)
  find_package(CURL REQUIRED)
  pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
  pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
  # WebKit is compiled against but not linked: src/game/webkit_api_linux.cpp opens it at run
  # time, once the launcher frame is on screen.
  pkg_check_modules(WEBKIT REQUIRED webkit2gtk-4.1)
  add_library(fernlite_webkit_headers INTERFACE)
  target_include_directories(fernlite_webkit_headers SYSTEM INTERFACE ${WEBKIT_INCLUDE_DIRS})
  target_compile_options(fernlite_webkit_headers INTERFACE ${WEBKIT_CFLAGS_OTHER})
  target_link_libraries(fernlite_system_libs INTERFACE OpenSSL::Crypto CURL::libcurl
    PkgConfig::GTK3 PkgConfig::X11 fernlite_webkit_headers ${CMAKE_DL_LIBS} Threads::Threads)
  # The desktop icon bubble finds the icon through the accessibility bus.
  pkg_check_modules(ATSPI REQUIRED IMPORTED_TARGET atspi-2)
  target_link_libraries(fernlite_system_libs INTERFACE PkgConfig::ATSPI)
endif()
# TinyXML from the Debian source package (scripts/install-deps puts it in third_party/) for
# Windows, and for the sanitizer build, where the parser's own faults must be seen too; the
# system library elsewhere.
if(WIN32 OR FERNLITE_SANITIZE)
  set(tinyxml_dir ${PROJECT_SOURCE_DIR}/third_party/tinyxml)
  if(NOT EXISTS ${tinyxml_dir}/tinyxml.cpp)
    message(FATAL_ERROR "TinyXML sources missing in ${tinyxml_dir}: run scripts/install-deps")
  endif()
  add_library(tinyxml STATIC ${tinyxml_dir}/tinyxml.cpp ${tinyxml_dir}/tinystr.cpp
    ${tinyxml_dir}/tinyxmlerror.cpp ${tinyxml_dir}/tinyxmlparser.cpp)
  target_include_directories(tinyxml SYSTEM PUBLIC ${tinyxml_dir})
  target_compile_definitions(tinyxml PUBLIC TIXML_USE_STL)
  target_compile_options(tinyxml PRIVATE -w)
else()
  pkg_check_modules(TINYXML REQUIRED IMPORTED_TARGET tinyxml)
  add_library(tinyxml INTERFACE)
  # Debian's libtinyxml is built with the STL interface.
  target_compile_definitions(tinyxml INTERFACE TIXML_USE_STL)
  target_link_libraries(tinyxml INTERFACE PkgConfig::TINYXML)
endif()
target_link_libraries(fernlite_system_libs INTERFACE tinyxml)

# cpp-httplib (header-only use) for the development platform and loopback test servers.
add_library(fernlite_httplib INTERFACE)
if(WIN32)
  # Debian's header, copied so the cross compiler sees it without the host's include tree.
  file(COPY /usr/include/httplib.h DESTINATION ${CMAKE_BINARY_DIR}/httplib-include)
  target_include_directories(fernlite_httplib SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/httplib-include)
  target_link_libraries(fernlite_httplib INTERFACE ws2_32 crypt32)
else()
  target_link_libraries(fernlite_httplib INTERFACE Threads::Threads)
endif()
