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

if(WIN32)
  # The licence texts of the third-party code that the Windows programs contain
  # (they are static); where each text comes from is in licenses/README.md:
  # GCC's runtime (libstdc++ and libgcc), the MinGW-w64 runtime (winpthreads),
  # nlohmann/json and cpp-httplib (update-station.exe).
  foreach(license README.md GCC-exception-3.1.txt GPL-3.txt mingw-w64.txt nlohmann-json.txt
                  cpp-httplib.txt)
    upd_install_text(${PROJECT_SOURCE_DIR}/licenses/${license} ${UPD_INSTALL_DOCDIR}/licenses
      ${license})
  endforeach()
  upd_install_text(${PROJECT_SOURCE_DIR}/LICENSE ${UPD_INSTALL_DOCDIR} LICENSE.txt)
  upd_install_text(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt ${UPD_INSTALL_DOCDIR}
    README.txt)
else()
  # Debian's copyright file, in its machine-readable form: ours, and the GCC
  # runtime's exception (packaging/debian/copyright says why) as a licence
  # paragraph, each line indented by a space and a blank line written " ."
  # (twice, for blank lines that follow each other).
  file(READ ${PROJECT_SOURCE_DIR}/packaging/debian/copyright copyright)
  file(READ ${PROJECT_SOURCE_DIR}/licenses/GCC-exception-3.1.txt exception)
  string(REGEX REPLACE "\n+$" "" exception "${exception}")
  string(REPLACE "\n" "\n " exception " ${exception}")
  string(REPLACE "\n \n" "\n .\n" exception "${exception}")
  string(REPLACE "\n \n" "\n .\n" exception "${exception}")
  string(APPEND copyright "\nLicense: GPL-3+ with GCC-exception-3.1\n${exception}\n")
  file(WRITE ${PROJECT_BINARY_DIR}/install-texts/copyright "${copyright}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${PROJECT_SOURCE_DIR}/licenses/GCC-exception-3.1.txt)
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

# The maintainer named in the control file and the changelog, "Name <address>".
# A release names its own (scripts/package passes UPD_PACKAGE_MAINTAINER from
# the environment); left empty, a local build names the committer of the commit
# it is built from, read when cpack runs (cmake/PackageFields.cmake).
set(UPD_PACKAGE_MAINTAINER "" CACHE STRING
  "The Debian package's maintainer, Name <address> (empty: the commit's committer)")
set(CPACK_UPD_MAINTAINER ${UPD_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_NAME ${UPD_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "the updater's authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware updater for devices on a serial port")
# The lines of Debian's long description stay under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION "\
update-cli updates the firmware and the JTAG logic of a device on a serial
port from an update file (.upd); update-station runs a production line of
them with a live page in the browser. mkupd writes update files, devsim
simulates the device on a pseudo-terminal, xsvfasm and xsvfdump turn XSVF
programs into a readable text form and back, svf2xsvf converts SVF programs
to XSVF.")
set(CPACK_STRIP_FILES ON)
# The version is the programs' own, read from the build's version header when
# cpack runs (cmake/PackageFields.cmake), so a commit after the last configure
# still names the package right.
set(CPACK_UPD_VERSION_HEADER ${UPD_VERSION_HEADER})
set(CPACK_UPD_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackageFields.cmake)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # name_version_architecture.deb
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The packages that the programs need, from the libraries they link, as
# dpkg-shlibdeps (dpkg-dev) finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The staged files are finished before packing (cmake/DebianStaging.cmake):
# manual pages compressed, and the changelog made from the project's history
# (packaging/debian/make_changelog.py).
find_package(Python3 COMPONENTS Interpreter)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebianStaging.cmake)
set(CPACK_UPD_MAN_DIR ${CMAKE_INSTALL_MANDIR})
set(CPACK_UPD_DOC_DIR ${UPD_INSTALL_DOCDIR})
set(CPACK_UPD_PYTHON ${Python3_EXECUTABLE})
set(CPACK_UPD_MAKE_CHANGELOG ${PROJECT_SOURCE_DIR}/packaging/debian/make_changelog.py)
include(CPack)

if(UPD_BUILD_TESTS AND Python3_FOUND)
  add_test(NAME debian_changelog
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/packaging/debian/make_changelog_test.py)
endif()
