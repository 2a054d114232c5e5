# Test code builds without the optimiser, which its many assertion macros make slow, and
# in optimised builds without debug information, a quarter of its compile time; the code
# under test keeps its own flags in its libraries, and the asan preset (a debug build)
# keeps both for a debugger. Fortify needs the optimiser, so it goes with it.
if(NOT MSVC)
  set(vellmor_test_optimising $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
  add_compile_options($<${vellmor_test_optimising}:-O0> $<${vellmor_test_optimising}:-g0>
                      $<${vellmor_test_optimising}:-U_FORTIFY_SOURCE>)
endif()
