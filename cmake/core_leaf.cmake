# Proof that the portable core is a leaf.
#
# 1. Its sources include only the C++ library, TinyXML and the project's own portable headers
#    (never a platform file or an OS or toolkit header), and its compile lines carry no
#    include directory outside the project: cmake/check_core.cmake, run on every build.
# 2. Linked on its own with every object kept and undefined symbols refused, it needs nothing
#    but the C++ runtime, TinyXML and threads: the core calls no platform function.
set(fernlite_core_list ${CMAKE_BINARY_DIR}/generated/core_sources.txt)
file(GLOB_RECURSE fernlite_core_header_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*.h)
list(FILTER fernlite_core_header_files EXCLUDE REGEX "_(win32|linux)\\.h$")
# The table list names the platform's tables by design; only platform files include it.
list(FILTER fernlite_core_header_files EXCLUDE REGEX "/native_tables\\.h$")
string(REPLACE ";" "\n" fernlite_core_list_text "${fernlite_core_sources};${fernlite_core_header_files}")
file(GENERATE OUTPUT ${fernlite_core_list} CONTENT "${fernlite_core_list_text}\n")

add_custom_target(fernlite_core_check ALL
  COMMAND ${CMAKE_COMMAND} -DSOURCE_LIST=${fernlite_core_list} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
          -DCOMPILE_COMMANDS=${CMAKE_BINARY_DIR}/compile_commands.json
          -DBINARY_DIR=${CMAKE_BINARY_DIR}
          -P ${PROJECT_SOURCE_DIR}/cmake/check_core.cmake
  DEPENDS fernlite_core
  COMMENT "Checking that the portable core includes and links nothing of the platform"
  VERBATIM)

# A program made of every object of the core and nothing of the platform: any reference to a
# platform function is an undefined symbol and fails the link.
file(WRITE ${CMAKE_BINARY_DIR}/generated/core_leaf_link.cpp
     "// The whole portable core, linked with nothing of the platform.\nint main() { return 0; }\n")
add_executable(fernlite_core_leaf_link ${CMAKE_BINARY_DIR}/generated/core_leaf_link.cpp)
target_link_libraries(fernlite_core_leaf_link PRIVATE
  -Wl,--whole-archive fernlite_core -Wl,--no-whole-archive tinyxml Threads::Threads)

# The same proof as tests, so a run of the suite names it.
if(FERNLITE_TESTS)
  add_test(NAME core_leaf_check
    COMMAND ${CMAKE_COMMAND} -DSOURCE_LIST=${fernlite_core_list} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -DCOMPILE_COMMANDS=${CMAKE_BINARY_DIR}/compile_commands.json
            -DBINARY_DIR=${CMAKE_BINARY_DIR} -P ${PROJECT_SOURCE_DIR}/cmake/check_core.cmake)
  add_test(NAME core_leaf_link COMMAND fernlite_core_leaf_link)
  set_tests_properties(core_leaf_check core_leaf_link PROPERTIES LABELS unit)
endif()
