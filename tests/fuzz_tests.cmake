# Seeded random input (fixed seeds, so every run is the same) into the parts
# that read what comes from outside: the line from the module, the virtual
# module's line decoder, portnum.ini and text files. Each test function must
# finish within QTEST_FUNCTION_TIMEOUT, so a case that hangs fails the test
# instead of running into the ctest timeout.
vf_add_test(tst_fuzz_module_decoder tst_fuzz_module_decoder.cpp support/fuzz.h)
vf_add_gui_test(tst_fuzz_receive tst_fuzz_receive.cpp support/fuzz.h)
vf_add_test(tst_fuzz_port_settings tst_fuzz_port_settings.cpp support/fuzz.h)
vf_add_test(tst_fuzz_text_file tst_fuzz_text_file.cpp support/fuzz.h)

foreach(test tst_fuzz_module_decoder tst_fuzz_receive tst_fuzz_port_settings tst_fuzz_text_file)
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "QTEST_FUNCTION_TIMEOUT=120000")
endforeach()
