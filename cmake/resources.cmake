# The program's images and, on Windows, its icons, dialog templates, manifest and version.
if(WIN32)
  # The icons are made from the committed art at build time. The shell's icon for the file
  # (index 0) gets the small sizes too; group 127, the windows' and the shortcut's icon, is
  # the art itself: 48 x 48, 32 bits per pixel.
  find_program(FERNLITE_CONVERT convert REQUIRED)
  set(fernlite_res_dir ${PROJECT_SOURCE_DIR}/res)
  set(fernlite_icon_dir ${CMAKE_BINARY_DIR}/generated/res)
  set(fernlite_icon_art ${fernlite_res_dir}/images/127.png)
  file(MAKE_DIRECTORY ${fernlite_icon_dir})
  add_custom_command(
    OUTPUT ${fernlite_icon_dir}/icon_127.ico
    COMMAND ${FERNLITE_CONVERT} ${fernlite_icon_art} -alpha on -define icon:auto-resize=48
            ${fernlite_icon_dir}/icon_127.ico
    DEPENDS ${fernlite_icon_art}
    COMMENT "Making icon 127")
  add_custom_command(
    OUTPUT ${fernlite_icon_dir}/file_icon.ico
    COMMAND ${FERNLITE_CONVERT} ${fernlite_icon_art} -alpha on -define icon:auto-resize=48,32,16
            ${fernlite_icon_dir}/file_icon.ico
    DEPENDS ${fernlite_icon_art}
    COMMENT "Making the file icon")

  add_custom_target(fernlite_icons DEPENDS ${fernlite_icon_dir}/icon_127.ico
                    ${fernlite_icon_dir}/file_icon.ico)

  file(GLOB fernlite_rc_images CONFIGURE_DEPENDS ${fernlite_res_dir}/images/*)
  set(fernlite_rc ${fernlite_res_dir}/fernlite.rc)
  # windres tracks none of the files a script names.
  set_source_files_properties(${fernlite_rc} PROPERTIES OBJECT_DEPENDS
    "${fernlite_rc_images};${fernlite_res_dir}/fernlite.manifest;${fernlite_icon_dir}/icon_127.ico;${fernlite_icon_dir}/file_icon.ico;${CMAKE_BINARY_DIR}/generated/build_config_rc.h")

  # Object libraries: an archive member holding only resources would never be pulled into a
  # link. The launcher's copy carries the version resource, the tests' copy does not.
  add_library(fernlite_resources OBJECT ${fernlite_rc})
  target_include_directories(fernlite_resources PRIVATE ${fernlite_res_dir} ${fernlite_icon_dir}
                             ${CMAKE_BINARY_DIR}/generated)
  target_compile_definitions(fernlite_resources PRIVATE FERNLITE_VERSION_RESOURCE)
  add_dependencies(fernlite_resources fernlite_icons)
  add_library(fernlite_test_resources OBJECT ${fernlite_rc})
  target_include_directories(fernlite_test_resources PRIVATE ${fernlite_res_dir} ${fernlite_icon_dir})
  add_dependencies(fernlite_test_resources fernlite_icons)
  return()
endif()

# Linux: the images embedded with GResource.
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
