# cpp-httplib, update-station's web server, as the interface library updhttplib.
#
# Linux: Debian's libcpp-httplib-dev, whose header declares the library and whose
# shared library holds its code (the system's security updates reach the
# program). Windows: the header-only httplib.h of the same Debian version with
# Debian's patches, which scripts/install-httplib-header puts outside the source
# tree, compiled into the program with Windows' sockets (ws2_32). The Windows
# build must not search /usr/include, whose other headers are Linux's: the
# header's folder holds httplib.h alone.
if(WIN32)
  set(UPD_HTTPLIB_HEADER_DIR /usr/local/share/firmware-updater/third_party/cpp-httplib
    CACHE PATH "The folder of cpp-httplib's header-only httplib.h (Windows build)")
  if(NOT EXISTS ${UPD_HTTPLIB_HEADER_DIR}/httplib.h)
    message(FATAL_ERROR "${UPD_HTTPLIB_HEADER_DIR}/httplib.h not found: "
                        "run scripts/install-deps (scripts/install-httplib-header)")
  endif()
  add_library(updhttplib INTERFACE)
  target_include_directories(updhttplib SYSTEM INTERFACE ${UPD_HTTPLIB_HEADER_DIR})
  target_link_libraries(updhttplib INTERFACE ws2_32)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  add_library(updhttplib INTERFACE)
  target_link_libraries(updhttplib INTERFACE PkgConfig::HTTPLIB)
endif()
