# Run by cpack (CPACK_PROJECT_CONFIG_FILE), so that a commit after the last
# configure still names the package right:
# - its version is the one in the build's version header, which the programs'
#   --version prints;
# - its maintainer is UPD_PACKAGE_MAINTAINER, or else the committer of the commit
#   the sources are at (their version names the commit when the sources are
#   its own checkout, cmake/Version.cmake). Outside a git checkout it must be
#   set (cmake/DebianStaging.cmake stops and says so).
file(STRINGS ${CPACK_UPD_VERSION_HEADER} line REGEX "^#define UPD_VERSION \"")
string(REGEX REPLACE "^#define UPD_VERSION \"(.*)\"$" "\\1" CPACK_PACKAGE_VERSION "${line}")

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_UPD_MAINTAINER}")
if(NOT CPACK_DEBIAN_PACKAGE_MAINTAINER AND CPACK_PACKAGE_VERSION MATCHES "\\+g")
  execute_process(COMMAND git -C ${CPACK_UPD_SOURCE_DIR} log -1 "--format=%cn <%ce>"
    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_MAINTAINER OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
