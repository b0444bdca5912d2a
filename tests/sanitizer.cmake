# The sanitizer build (VF_SANITIZE in the top-level CMakeLists.txt).
#
# Every test runs with options that make any report fatal. Reports do not go
# to standard error but into one folder, together with those of every program a
# test starts (vf3360-send, vf3360-sim): a child's report is then not lost when
# the test reads the child's output or ignores its exit status. Around all
# tests, the fixture vf_sanitizer_reports empties that folder first and fails,
# printing every report, when anything is in it at the end.
#
# Leak detection is on: neither Qt offscreen (with fontconfig) nor ICU leaves a
# leak report behind in these tests. A leak outside our code (libdbus under
# Qt's xcb platform, in tst_window_manager) is in the commented LeakSanitizer
# suppressions file lsan.supp, not a reason to turn detection off.
set(VF_SANITIZER_REPORTS ${CMAKE_BINARY_DIR}/sanitizer-reports)

function(vf_sanitize_test name)
  if(NOT VF_SANITIZE)
    return()
  endif()
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT
    "ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:log_path=${VF_SANITIZER_REPORTS}/asan"
    "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:log_path=${VF_SANITIZER_REPORTS}/ubsan"
    # Suppressed leaks are not told (a told one would be a report file).
    "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/lsan.supp:print_suppressions=0")
  set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED vf_sanitizer_reports)
endfunction()

if(VF_SANITIZE)
  add_test(NAME sanitizer_reports_clear
           COMMAND ${CMAKE_COMMAND} -DMODE=clear -DREPORTS=${VF_SANITIZER_REPORTS}
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/check_sanitizer_reports.cmake)
  set_tests_properties(sanitizer_reports_clear PROPERTIES FIXTURES_SETUP vf_sanitizer_reports)
  add_test(NAME sanitizer_reports
           COMMAND ${CMAKE_COMMAND} -DMODE=check -DREPORTS=${VF_SANITIZER_REPORTS}
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/check_sanitizer_reports.cmake)
  set_tests_properties(sanitizer_reports PROPERTIES FIXTURES_CLEANUP vf_sanitizer_reports)
endif()
