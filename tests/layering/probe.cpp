// Compiled as a file of encoder/ would be (tests/CMakeLists.txt, the layering
// tests): it includes the one header VF_PROBE_HEADER names.
#include VF_PROBE_HEADER
