# Tests of the serial link and the port settings.
vf_add_test(tst_port_settings tst_port_settings.cpp)
vf_add_gui_test(tst_port_opening tst_port_opening.cpp)
vf_add_gui_test(tst_receive_handling tst_receive_handling.cpp)
vf_add_gui_test(tst_port_dialog tst_port_dialog.cpp)
