# Tests of the main window and the About window.
vf_add_gui_test(tst_text_field tst_text_field.cpp)
