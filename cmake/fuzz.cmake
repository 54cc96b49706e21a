# One libFuzzer program per target of tests/fuzz (scripts/fuzz builds and runs them).
set(fernlite_fuzz_targets base64 record device_descriptors command_line upgrade_description
  user_agent bridge_dispatch urls desktop_files)
if(NOT WIN32)
  list(APPEND fernlite_fuzz_targets script_message)
endif()
set(fernlite_fuzz_dir ${PROJECT_SOURCE_DIR}/tests/fuzz)
add_custom_target(fuzz_targets)
foreach(target IN LISTS fernlite_fuzz_targets)
  add_executable(fuzz_${target} ${fernlite_fuzz_dir}/fuzz_main.cpp
    ${fernlite_fuzz_dir}/fuzz_targets.cpp ${fernlite_fuzz_dir}/fuzz_targets_${FERNLITE_SUFFIX}.cpp)
  target_include_directories(fuzz_${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(fuzz_${target} PRIVATE FERNLITE_FUZZ_TARGET="${target}")
  target_link_libraries(fuzz_${target} PRIVATE fernlite_platform)
  target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzz_targets fuzz_${target})
endforeach()
