# UPD_SANITIZE=address builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer; UPD_SANITIZE=thread with ThreadSanitizer.
if(UPD_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
elseif(UPD_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=thread)
elseif(NOT UPD_SANITIZE STREQUAL "")
  message(FATAL_ERROR "UPD_SANITIZE must be address, thread or empty")
endif()

# UPD_BUILD_FUZZERS=ON: every library is built with libFuzzer's coverage
# instrumentation, AddressSanitizer and UndefinedBehaviorSanitizer, so that the
# fuzz targets in fuzz/ see the code they drive and stop at its first fault. The
# fuzz targets themselves link libFuzzer's main (fuzz/CMakeLists.txt).
if(UPD_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "UPD_BUILD_FUZZERS needs clang (-DCMAKE_CXX_COMPILER=clang++)")
  endif()
  if(NOT UPD_SANITIZE STREQUAL "")
    message(FATAL_ERROR "UPD_BUILD_FUZZERS brings its own sanitizers: leave UPD_SANITIZE empty")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
