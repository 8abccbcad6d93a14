# Run by cpack on the staged files before it makes the Debian package from them
# (CPACK_PRE_BUILD_SCRIPTS): Debian wants manual pages compressed, and gzip -n
# keeps the time and name out of the compressed file.
file(GLOB pages
  ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_UPD_MAN_DIR}/man*/*.[1-9])
foreach(page ${pages})
  execute_process(COMMAND gzip -9n ${page} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip -9n ${page} failed")
  endif()
endforeach()
