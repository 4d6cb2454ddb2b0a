# The native Windows window, run under Wine against ventora-sim-host's
# transmitters (see .ci/wine-tests.sh).
if(TARGET ventora_win32_window AND TARGET ventora_sim)
  add_executable(ventora_win32_window_tests wine/win32_window_test.cpp)
  target_link_libraries(ventora_win32_window_tests PRIVATE
    ventora_win32_window ventora_win32_resources ventora_sim ventora_test_support GTest::gtest_main)
  ventora_add_gtests(ventora_win32_window_tests gui threaded)
endif()
