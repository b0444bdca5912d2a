# The virtual module: the line decoder, the display code inverse, the face and
# the vf3360-sim tool.
vf_add_test(tst_display_code tst_display_code.cpp)
vf_add_test(tst_module_decoder tst_module_decoder.cpp)
vf_add_gui_test(tst_module_face tst_module_face.cpp)
target_link_libraries(tst_module_face PRIVATE vf_sim)
vf_add_gui_test(tst_sim_tool tst_sim_tool.cpp)
add_dependencies(tst_sim_tool vf3360-sim)
target_compile_definitions(tst_sim_tool PRIVATE VF3360_SIM_PATH="$<TARGET_FILE:vf3360-sim>")
