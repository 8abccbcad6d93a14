# Our own code builds without warnings with g++, clang and MinGW-w64 in every
# build type. UPD_WERROR=ON keeps it that way where the developers want it:
# scripts/test (and so CI) turns it on for every stage. It is off by default so
# that a user's build never fails on a warning that a newer compiler finds.
option(UPD_WERROR "Treat warnings as errors" OFF)

function(upd_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(UPD_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
