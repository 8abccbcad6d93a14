# What the packages hold besides the programs (those are installed by
# upd_ship_programs(), cmake/Install.cmake), and the Debian package, which CPack
# makes from the same install rules (cpack -G DEB in a Linux build). The Windows
# zip is made by scripts/package from `cmake --install` of a Windows build:
# CPack's zips hold the order in which the file system lists the files and the
# owner's user id, so they differ from machine to machine.

# The shipped programs, one a line, for scripts/check-packages and for what makes
# manual pages and completion from the programs.
get_property(programs GLOBAL PROPERTY UPD_SHIPPED_PROGRAMS)
list(SORT programs)
list(JOIN programs "\n" programs)
file(WRITE ${PROJECT_BINARY_DIR}/shipped-programs.txt "${programs}\n")

# --- documents and licences ---

# The licence texts of third-party code that the shipped programs contain; where
# each text comes from is in licenses/README.md. GCC's runtime (libstdc++ and
# libgcc) is in every program.
set(third_party_licenses GCC-exception-3.1.txt GPL-3.txt)
if(WIN32)
  list(APPEND third_party_licenses mingw-w64.txt)  # the MinGW-w64 runtime, winpthreads
elseif(UPD_STATIC_PROGRAMS)
  list(APPEND third_party_licenses glibc.txt LGPL-2.1.txt)  # the GNU C Library
endif()
# libcrypto (SHA-256 on Linux), statically linked in the release programs.
if(UPD_STATIC_PROGRAMS AND NOT WIN32)
  list(APPEND third_party_licenses OpenSSL.txt Apache-2.0.txt)
endif()
foreach(license README.md ${third_party_licenses})
  upd_install_text(${PROJECT_SOURCE_DIR}/licenses/${license} ${UPD_INSTALL_DOCDIR}/licenses
    ${license})
endforeach()

if(WIN32)
  upd_install_text(${PROJECT_SOURCE_DIR}/LICENSE ${UPD_INSTALL_DOCDIR} LICENSE.txt)
  upd_install_text(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt ${UPD_INSTALL_DOCDIR}
    README.txt)
else()
  # Debian's copyright file: ours, and where the third-party licences are.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE copyright)
  string(APPEND copyright "\nThe programs contain third-party code under licences of its own; "
    "licenses/README.md in this folder lists it, with the licence texts beside it.\n")
  file(WRITE ${PROJECT_BINARY_DIR}/install-texts/copyright "${copyright}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
  install(FILES ${PROJECT_BINARY_DIR}/install-texts/copyright DESTINATION ${UPD_INSTALL_DOCDIR})
endif()

# The sample update file: samples/ builds and installs it in a native build. A
# cross build cannot run the tools that make it and installs the one that
# UPD_SAMPLE_FILE names (scripts/package passes the native release build's).
if(CMAKE_CROSSCOMPILING)
  set(UPD_SAMPLE_FILE "" CACHE FILEPATH "The sample update file that a cross build installs")
  if(UPD_SAMPLE_FILE)
    install(FILES ${UPD_SAMPLE_FILE} DESTINATION ${UPD_INSTALL_DATADIR})
  endif()
endif()

# Manual pages and bash completion are made and installed by tools/manual; the
# Debian package compresses the pages (cmake/DebianStaging.cmake).

# --- the Debian package ---

if(WIN32)
  return()
endif()

set(UPD_PACKAGE_MAINTAINER "The updater's authors <firmware-updater@invalid>"
  CACHE STRING "The Debian package's maintainer")
set(CPACK_PACKAGE_NAME ${UPD_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "the updater's authors")
set(CPACK_PACKAGE_CONTACT ${UPD_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware updater for devices on a serial port")
# The lines of Debian's long description stay under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION "\
update-cli updates the firmware and the JTAG logic of a device on a serial
port from an update file (.upd). mkupd writes update files, devsim simulates
the device on a pseudo-terminal, xsvfasm and xsvfdump turn XSVF programs into
a readable text form and back, svf2xsvf converts SVF programs to XSVF.")
set(CPACK_STRIP_FILES ON)
# The version is the programs' own, read from the build's version header when
# cpack runs (cmake/PackageVersion.cmake), so a commit after the last configure
# still names the package right.
set(CPACK_UPD_VERSION_HEADER ${UPD_VERSION_HEADER})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackageVersion.cmake)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # name_version_architecture.deb
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebianStaging.cmake)
set(CPACK_UPD_MAN_DIR ${CMAKE_INSTALL_MANDIR})
# Static programs need no other package; dynamic ones need the libraries that
# dpkg-shlibdeps (from dpkg-dev) finds them linked with.
if(NOT UPD_STATIC_PROGRAMS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
