# What a release ships and where `cmake --install` puts it. The packages are made
# from the same rules (cmake/Packaging.cmake, scripts/package).
#
# Linux (with a prefix such as /usr):   Windows (one flat folder, the zip):
#   bin/<program>                          <program>.exe, Update.exe
#   share/firmware-updater/sample.upd      sample.upd
#   share/doc/firmware-updater/            README.txt, LICENSE.txt, licenses/
#     copyright (changelog.gz: the package)
#   share/man/man1/<program>.1             (manual pages and bash completion are
#   share/bash-completion/completions/       Linux only; see cmake/Packaging.cmake)
#
# A program that ships is named once, in upd_ship_programs() beside its target.

set(UPD_PACKAGE_NAME firmware-updater)

include(GNUInstallDirs)
if(WIN32)
  set(UPD_INSTALL_BINDIR .)
  set(UPD_INSTALL_DATADIR .)
  set(UPD_INSTALL_DOCDIR .)
else()
  set(UPD_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(UPD_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/${UPD_PACKAGE_NAME})
  set(UPD_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${UPD_PACKAGE_NAME})
endif()

# The Windows programs are always static (cmake/mingw-w64.cmake): the zip is
# all a Windows user installs. The Linux programs link the system's shared
# libraries, so that the system's updates of them (libcrypto's security fixes
# above all) reach the programs; the Debian package depends on what they link.

# No path of the build machine in what an optimised build makes: source and
# build directories are recorded relative (file names in messages and debug
# information). Debug builds keep full paths for the debugger.
add_compile_options(
  "$<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=>"
  "$<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${PROJECT_BINARY_DIR}/=>")

# Optimised Linux builds are hardened as Debian builds its own packages
# (dpkg-buildflags): checked C library calls where the sizes are known, stack
# protection, and relocations resolved at start and then made read-only.
if(NOT WIN32)
  add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-fstack-protector-strong>")
  add_compile_definitions("$<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>")
  add_link_options("$<$<NOT:$<CONFIG:Debug>>:LINKER:-z,relro,-z,now>")
endif()

# upd_ship_programs(<target>...)
# The programs that the packages hold: each gets an install rule and a test that
# its --version prints its name and the version. The global property
# UPD_SHIPPED_PROGRAMS lists them, and so does shipped-programs.txt in the build
# directory (cmake/Packaging.cmake).
function(upd_ship_programs)
  string(REPLACE "." "\\." version_pattern ${PROJECT_VERSION})
  foreach(program ${ARGN})
    set_property(GLOBAL APPEND PROPERTY UPD_SHIPPED_PROGRAMS ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${UPD_INSTALL_BINDIR})
    if(UPD_BUILD_TESTS)
      add_test(NAME ${program}_version COMMAND ${program} --version)
      set_tests_properties(${program}_version PROPERTIES PASS_REGULAR_EXPRESSION
        "^${program} ${version_pattern}(\\+g[0-9a-f]+(\\.dirty)?)?\r?\n$")
    endif()
  endforeach()
endfunction()

# upd_install_text(<file> <destination> <name>)
# Installs a text file under another name; for Windows with CR LF line ends, which
# Notepad before Windows 10 needs.
function(upd_install_text file destination name)
  if(NOT WIN32)
    install(FILES ${file} DESTINATION ${destination} RENAME ${name})
    return()
  endif()
  file(READ ${file} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  set(copy ${PROJECT_BINARY_DIR}/install-texts/${destination}/${name})
  file(WRITE ${copy} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  install(FILES ${copy} DESTINATION ${destination})
endfunction()
