# Tests of the main window and the About window.
vf_add_gui_test(tst_text_field tst_text_field.cpp)
vf_add_gui_test(tst_main_window tst_main_window.cpp window_harness.h)
vf_add_gui_test(tst_auto_update tst_auto_update.cpp window_harness.h)
vf_add_gui_test(tst_about_window tst_about_window.cpp)
