# The virtual module: the line decoder, the display code inverse, the face and
# the vf3360-sim tool.
vf_add_test(tst_display_code tst_display_code.cpp)
vf_add_test(tst_module_decoder tst_module_decoder.cpp)
