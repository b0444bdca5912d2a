# `cmake --install` of this build tree into a temporary folder: every file in
# its place, the installed tools run, the desktop entry and the icons are right.
vf_add_gui_test(tst_install tst_install.cpp)
add_dependencies(tst_install vf3360 vf3360-send vf3360-sim)
target_compile_definitions(tst_install PRIVATE
  VF_CMAKE_COMMAND="${CMAKE_COMMAND}"
  VF_BUILD_DIR="${CMAKE_BINARY_DIR}"
  VF3360_SEND_PATH="$<TARGET_FILE:vf3360-send>")
