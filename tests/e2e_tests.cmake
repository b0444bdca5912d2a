# End to end: the main window against vf3360-sim on a pseudo-terminal, and the
# program itself on a virtual X display.
vf_add_gui_test(tst_end_to_end tst_end_to_end.cpp port_window_harness.h)
add_dependencies(tst_end_to_end vf3360-sim)
target_compile_definitions(tst_end_to_end PRIVATE VF3360_SIM_PATH="$<TARGET_FILE:vf3360-sim>")
set_tests_properties(tst_end_to_end PROPERTIES TIMEOUT 120)

vf_add_gui_test(tst_program_on_x tst_program_on_x.cpp)
add_dependencies(tst_program_on_x vf3360)
target_compile_definitions(tst_program_on_x PRIVATE VF3360_PATH="$<TARGET_FILE:vf3360>")
set_tests_properties(tst_program_on_x PROPERTIES TIMEOUT 120)
