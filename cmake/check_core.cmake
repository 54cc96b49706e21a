cmake_minimum_required(VERSION 3.25)
# cmake -P: the portable core's sources include nothing of the platform, and their compile lines
# name no include directory outside the project. Fails the build with the offending lines.
#   SOURCE_LIST       file with one portable source or header per line
#   SOURCE_DIR        the project's root
#   COMPILE_COMMANDS  compile_commands.json of the build
#   BINARY_DIR        the build directory

# The C++ standard library (and the C library through its <cname> headers).
set(standard_headers
  algorithm any array atomic barrier bit bitset cassert cctype cerrno cfloat charconv chrono
  cinttypes climits clocale cmath compare complex concepts condition_variable coroutine csetjmp
  csignal cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype deque
  exception execution expected filesystem format forward_list fstream functional future
  initializer_list iomanip ios iosfwd iostream istream iterator latch limits list locale map
  memory memory_resource mutex new numbers numeric optional ostream queue random ranges ratio
  regex scoped_allocator semaphore set shared_mutex source_location span sstream stack
  stdexcept stop_token streambuf string string_view syncstream system_error thread tuple
  type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant vector
  version)
# Portable libraries the core may use.
set(library_headers tinyxml.h)

file(STRINGS ${SOURCE_LIST} files)
set(problems "")
foreach(file IN LISTS files)
  if(file STREQUAL "")
    continue()
  endif()
  file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    if(line MATCHES "<([^>]+)>")
      set(header ${CMAKE_MATCH_1})
      if(NOT header IN_LIST standard_headers AND NOT header IN_LIST library_headers)
        string(APPEND problems "${file}: system or toolkit header <${header}>\n")
      endif()
    elseif(line MATCHES "\"([^\"]+)\"")
      set(header ${CMAKE_MATCH_1})
      if(header MATCHES "_(win32|linux)\\.h$" OR header MATCHES "native_tables\\.h$")
        string(APPEND problems "${file}: platform header \"${header}\"\n")
      elseif(NOT EXISTS ${SOURCE_DIR}/src/${header} AND NOT EXISTS ${BINARY_DIR}/generated/${header})
        string(APPEND problems "${file}: \"${header}\" is not one of the project's headers\n")
      endif()
    endif()
  endforeach()
endforeach()

# Compile lines: every include directory lies inside the project (sources, generated headers,
# the TinyXML copy of the cross build).
if(EXISTS ${COMPILE_COMMANDS})
  file(READ ${COMPILE_COMMANDS} json)
  string(JSON count LENGTH "${json}")
  math(EXPR last "${count} - 1")
  get_filename_component(root ${SOURCE_DIR} REALPATH)
  foreach(index RANGE ${last})
    string(JSON source GET "${json}" ${index} file)
    if(NOT source IN_LIST files)
      continue()
    endif()
    string(JSON command ERROR_VARIABLE no_command GET "${json}" ${index} command)
    if(no_command)
      continue()
    endif()
    string(REGEX MATCHALL "(-I|-isystem )[^ ]+" directories "${command}")
    foreach(flag IN LISTS directories)
      string(REGEX REPLACE "^(-I|-isystem )" "" directory "${flag}")
      get_filename_component(directory ${directory} REALPATH)
      string(FIND "${directory}" "${root}/" at)
      if(NOT at EQUAL 0)
        string(APPEND problems "${source}: compiled with the outside include directory ${directory}\n")
      endif()
    endforeach()
  endforeach()
endif()

if(problems)
  message(FATAL_ERROR "The portable core must stay free of the platform:\n${problems}")
endif()
