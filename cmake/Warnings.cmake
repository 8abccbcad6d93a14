# Our own code builds without warnings; -Werror keeps it that way in CI.
option(UPD_WERROR "Treat warnings as errors" ON)

function(upd_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(UPD_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
