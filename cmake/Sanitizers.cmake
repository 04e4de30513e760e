# QV_SANITIZE=address-undefined or thread adds the sanitizer flags to every
# target; QV_FUZZ (clang only) instruments every target for libFuzzer with
# AddressSanitizer and UndefinedBehaviorSanitizer.
if(QV_SANITIZE STREQUAL "address-undefined")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(QV_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT QV_SANITIZE STREQUAL "")
  message(FATAL_ERROR "QV_SANITIZE must be empty, address-undefined or thread, not \"${QV_SANITIZE}\"")
endif()

if(QV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QV_FUZZ needs clang (for example -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14)")
  endif()
  if(NOT QV_SANITIZE STREQUAL "")
    message(FATAL_ERROR "QV_FUZZ brings its own sanitizers: leave QV_SANITIZE empty")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
