# nlohmann/json, header-only: every JSON the programs write goes through it, and
# the tests read JSON with it. Debian's nlohmann-json3-dev puts it in
# /usr/include/nlohmann. The Windows cross build must not search /usr/include,
# whose other headers are Linux's, so the nlohmann folder alone is copied into
# the build tree, and both builds take it from there (as a system header, so that
# our warning flags apply to our code only).
find_path(UPD_NLOHMANN_JSON_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
if(NOT UPD_NLOHMANN_JSON_DIR)
  message(FATAL_ERROR "nlohmann/json.hpp not found: "
                      "install nlohmann-json3-dev (scripts/install-deps)")
endif()
set(UPD_JSON_INCLUDE_DIR ${CMAKE_BINARY_DIR}/json-include)
file(COPY ${UPD_NLOHMANN_JSON_DIR}/nlohmann DESTINATION ${UPD_JSON_INCLUDE_DIR})

# updjson: links nothing, only gives its users the nlohmann headers.
add_library(updjson INTERFACE)
target_include_directories(updjson SYSTEM INTERFACE ${UPD_JSON_INCLUDE_DIR})
