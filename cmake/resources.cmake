# Images embedded in the Linux build with GResource (the Windows build uses .rc resources).
if(WIN32)
  return()
endif()

find_program(GLIB_COMPILE_RESOURCES glib-compile-resources REQUIRED)
set(fernlite_gresource_xml ${PROJECT_SOURCE_DIR}/res/fernlite.gresource.xml)
set(fernlite_gresource_c ${CMAKE_BINARY_DIR}/generated/fernlite_resources.c)
execute_process(
  COMMAND ${GLIB_COMPILE_RESOURCES} --generate-dependencies
          --sourcedir=${PROJECT_SOURCE_DIR}/res ${fernlite_gresource_xml}
  OUTPUT_VARIABLE fernlite_gresource_deps OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REPLACE "\n" ";" fernlite_gresource_deps "${fernlite_gresource_deps}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${fernlite_gresource_xml})

add_custom_command(
  OUTPUT ${fernlite_gresource_c}
  COMMAND ${GLIB_COMPILE_RESOURCES} --generate-source --c-name fernlite
          --sourcedir=${PROJECT_SOURCE_DIR}/res --target=${fernlite_gresource_c}
          ${fernlite_gresource_xml}
  DEPENDS ${fernlite_gresource_xml} ${fernlite_gresource_deps}
  COMMENT "Embedding images")
# Generated code: not ours to warn about.
set_source_files_properties(${fernlite_gresource_c} PROPERTIES GENERATED ON COMPILE_OPTIONS "-w")
target_sources(fernlite_platform PRIVATE ${fernlite_gresource_c})
