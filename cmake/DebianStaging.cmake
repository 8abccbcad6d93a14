# Run by cpack on the staged files before it makes the Debian package from them
# (CPACK_PRE_BUILD_SCRIPTS): Debian wants manual pages and the changelog
# compressed at gzip's best, and gzip -n keeps the time and name out of the
# compressed file.
set(staged ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})

function(compress file)
  execute_process(COMMAND gzip -9n ${file} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip -9n ${file} failed")
  endif()
endfunction()

file(GLOB pages ${staged}/${CPACK_UPD_MAN_DIR}/man*/*.[1-9])
foreach(page ${pages})
  compress(${page})
endforeach()

# The changelog of a package made by its own authors (a native package):
# changelog.gz, from the project's history when the sources are a git checkout
# (their version then names the commit).
if(NOT CPACK_UPD_PYTHON)
  message(FATAL_ERROR "The Debian package's changelog needs python3")
endif()
if(NOT CPACK_DEBIAN_PACKAGE_MAINTAINER)
  message(FATAL_ERROR "The Debian package needs a maintainer outside a git checkout: "
    "configure with -DUPD_PACKAGE_MAINTAINER=\"Name <address>\"")
endif()
set(changelog ${staged}/${CPACK_UPD_DOC_DIR}/changelog)
set(history)
if(CPACK_PACKAGE_VERSION MATCHES "\\+g")
  set(history ${CPACK_UPD_SOURCE_DIR})
endif()
execute_process(COMMAND ${CPACK_UPD_PYTHON} ${CPACK_UPD_MAKE_CHANGELOG} ${CPACK_PACKAGE_NAME}
  ${CPACK_PACKAGE_VERSION} "${CPACK_DEBIAN_PACKAGE_MAINTAINER}" ${changelog} ${history}
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "Making the changelog failed")
endif()
compress(${changelog})
