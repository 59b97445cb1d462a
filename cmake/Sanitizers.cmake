# Sanitizer builds apply to every target of the tree, third-party test code included,
# so that instrumented and plain code never mix in one binary.
if(MORROWDECK_SANITIZE AND MORROWDECK_TSAN)
  message(FATAL_ERROR "MORROWDECK_SANITIZE and MORROWDECK_TSAN cannot be combined")
endif()
if(MORROWDECK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(MORROWDECK_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(MORROWDECK_FUZZ)
  # Instrument every target for coverage and memory errors; only the fuzz executables link
  # libFuzzer's main (fuzz/CMakeLists.txt adds -fsanitize=fuzzer there).
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
