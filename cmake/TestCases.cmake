# Registers the cases of one GoogleTest program with ctest, one test each, named
# "<program>.<Suite>.<Case>". ctest includes this script when it starts (see
# upd_add_test in cmake/Testing.cmake), so the cases are listed by the program
# itself as it was last built; the list is kept beside the program's working
# directories and made again when the program is newer than it.
#
# A Windows test program lists its cases under the cross-compiling emulator
# (Wine), in the prefix that the caller of ctest has set up, as it runs them. Its
# output has CR LF line ends, which are read as line ends.
#
# Each case runs in a working directory of its own, <work>/<Suite>.<Case>, since
# the cases of one program run side by side and the player writes its debug log
# into the working directory.
#
# Input (set by the including file): UPD_CASES_PROGRAM, UPD_CASES_EMULATOR (empty
# for a native build), UPD_CASES_NAME, UPD_CASES_WORK.

set(list_file "${UPD_CASES_WORK}/cases.txt")
if(NOT EXISTS "${UPD_CASES_PROGRAM}")
  # Not built yet: one test that fails and says so, as ctest does for a program
  # that is missing.
  add_test("${UPD_CASES_NAME}_NOT_BUILT" "${UPD_CASES_NAME}_NOT_BUILT")
  return()
endif()

if(NOT EXISTS "${list_file}" OR "${UPD_CASES_PROGRAM}" IS_NEWER_THAN "${list_file}")
  file(MAKE_DIRECTORY "${UPD_CASES_WORK}")
  execute_process(
    COMMAND ${UPD_CASES_EMULATOR} "${UPD_CASES_PROGRAM}" --gtest_list_tests
    WORKING_DIRECTORY "${UPD_CASES_WORK}"
    TIMEOUT 300
    OUTPUT_VARIABLE listing
    ERROR_VARIABLE errors
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${UPD_CASES_NAME} could not list its test cases (${result}):\n"
      "${listing}${errors}")
  endif()
  # "Suite." lines, each followed by its "  Case" lines; a typed or parameterised
  # one carries a "  # ..." comment.
  string(REPLACE "\r" "" listing "${listing}")
  string(REPLACE ";" "" listing "${listing}")
  string(REPLACE "\n" ";" lines "${listing}")
  set(cases)
  set(suite)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE " *#.*" "" line "${line}")
    if(line MATCHES "^  +([^ ]+)$")
      set(case "${CMAKE_MATCH_1}")
      if(NOT suite MATCHES "^DISABLED_" AND NOT case MATCHES "^DISABLED_")
        list(APPEND cases "${suite}.${case}")
      endif()
    elseif(line MATCHES "^([^ ]+)\\.$")
      set(suite "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  if(NOT cases)
    message(FATAL_ERROR "${UPD_CASES_NAME} listed no test cases:\n${listing}")
  endif()
  list(JOIN cases "\n" text)
  file(WRITE "${list_file}" "${text}\n")
endif()

file(STRINGS "${list_file}" cases)
foreach(case IN LISTS cases)
  string(REPLACE "/" "_" folder "${case}")
  set(work "${UPD_CASES_WORK}/${folder}")
  file(MAKE_DIRECTORY "${work}")
  add_test("${UPD_CASES_NAME}.${case}"
    ${UPD_CASES_EMULATOR} "${UPD_CASES_PROGRAM}" "--gtest_filter=${case}")
  set_tests_properties("${UPD_CASES_NAME}.${case}" PROPERTIES WORKING_DIRECTORY "${work}")
endforeach()
