# GoogleTest comes from the system on Linux. The Windows build compiles it from
# the sources that Debian's googletest package installs, with the cross compiler;
# the test programs then run under the cross-compiling emulator (Wine).
if(UPD_BUILD_TESTS)
  enable_testing()
  if(CMAKE_CROSSCOMPILING)
    set(UPD_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
    if(NOT EXISTS ${UPD_GTEST_SOURCE_DIR}/CMakeLists.txt)
      message(FATAL_ERROR "No GoogleTest sources in ${UPD_GTEST_SOURCE_DIR} "
                          "(install the googletest package or set UPD_GTEST_SOURCE_DIR)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${UPD_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # GoogleTest's own CMake defines the GTest:: names. Mark its headers as system
    # headers, as they are in a native build, so that our warning flags and -Werror
    # apply to our code only.
    foreach(gtest_target gtest gmock)
      get_target_property(gtest_includes ${gtest_target} INTERFACE_INCLUDE_DIRECTORIES)
      set_target_properties(${gtest_target} PROPERTIES
        INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${gtest_includes}")
    endforeach()
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

# upd_add_test(<name> SOURCES <files...> LIBS <libraries...>)
# A GoogleTest program whose cases ctest runs one by one, each by its name
# ("<name>.<Suite>.<Case>", listed when ctest starts: cmake/TestCases.cmake), in a
# working directory of its own under <name>.run, since the XSVF player writes its
# debug log into the working directory. Test programs find their data through
# UPD_SOURCE_DIR and UPD_BINARY_DIR (under Wine, absolute paths of the build
# machine resolve through Wine's Z: drive).
function(upd_add_test name)
  if(NOT UPD_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  upd_set_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    UPD_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    UPD_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(emulator)
  if(CMAKE_CROSSCOMPILING)
    set(emulator ${CMAKE_CROSSCOMPILING_EMULATOR})
  endif()
  set(include_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_cases.cmake)
  file(GENERATE OUTPUT ${include_file} CONTENT
"set(UPD_CASES_PROGRAM [==[$<TARGET_FILE:${name}>]==])
set(UPD_CASES_EMULATOR [==[${emulator}]==])
set(UPD_CASES_NAME [==[${name}]==])
set(UPD_CASES_WORK [==[${CMAKE_CURRENT_BINARY_DIR}/${name}.run]==])
include([==[${PROJECT_SOURCE_DIR}/cmake/TestCases.cmake]==])
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
endfunction()
