# Run by cpack (CPACK_PROJECT_CONFIG_FILE): the package's version is the one in
# the build's version header, which the programs' --version prints.
file(STRINGS ${CPACK_UPD_VERSION_HEADER} line REGEX "^#define UPD_VERSION \"")
string(REGEX REPLACE "^#define UPD_VERSION \"(.*)\"$" "\\1" CPACK_PACKAGE_VERSION "${line}")
