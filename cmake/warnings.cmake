function(fernlite_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(FERNLITE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(FERNLITE_SANITIZE)
  # No vptr check: the web engine's C++ (JavaScriptCore) is not instrumented, and when it
  # releases its own shared_ptr blocks through our instrumented copy of the same library
  # template, the check cannot see its vtables and stops the test.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize=vptr -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(FERNLITE_FUZZ)
  # Coverage for libFuzzer in every object; only the fuzz programs link its driver.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
