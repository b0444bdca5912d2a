# Run by ctest in the sanitizer build around all other tests (tests/sanitizer.cmake).
#   cmake -DMODE=clear -DREPORTS=<folder> -P check_sanitizer_reports.cmake
#     empties the report folder before the first test;
#   cmake -DMODE=check -DREPORTS=<folder> -P check_sanitizer_reports.cmake
#     prints every report written since and fails if there is any.
if(NOT REPORTS)
  message(FATAL_ERROR "REPORTS (the report folder) is not set")
endif()

if(MODE STREQUAL "clear")
  file(REMOVE_RECURSE "${REPORTS}")
  file(MAKE_DIRECTORY "${REPORTS}")
  return()
endif()

if(NOT MODE STREQUAL "check")
  message(FATAL_ERROR "MODE must be clear or check, not '${MODE}'")
endif()
if(NOT IS_DIRECTORY "${REPORTS}")
  message(FATAL_ERROR "${REPORTS} is missing: the tests did not run with the report folder")
endif()
file(GLOB reports "${REPORTS}/*")
list(LENGTH reports count)
if(count EQUAL 0)
  message(STATUS "No sanitizer reports")
  return()
endif()
foreach(report IN LISTS reports)
  file(READ "${report}" text)
  message("==== ${report}\n${text}")
endforeach()
message(FATAL_ERROR "${count} sanitizer report(s), printed above")
