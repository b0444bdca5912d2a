# Tests of the serial link and the port settings.
vf_add_test(tst_port_settings tst_port_settings.cpp)
vf_add_gui_test(tst_port_opening tst_port_opening.cpp)
vf_add_gui_test(tst_receive_handling tst_receive_handling.cpp)
vf_add_gui_test(tst_port_dialog tst_port_dialog.cpp)
vf_add_gui_test(tst_send_tool_port tst_send_tool_port.cpp)
add_dependencies(tst_send_tool_port vf3360-send)
target_compile_definitions(tst_send_tool_port PRIVATE VF3360_SEND_PATH="$<TARGET_FILE:vf3360-send>")
vf_add_gui_test(tst_startup tst_startup.cpp port_window_harness.h)
