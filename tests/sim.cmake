# The sim seen through plain termios: Linux only.
if(NOT WIN32)
  add_executable(sim_transmitter_test integration/sim_transmitter_test.cpp integration/sim_line_test.cpp)
  target_link_libraries(sim_transmitter_test PRIVATE ventora_sim GTest::gtest_main)
  ventora_add_gtests(sim_transmitter_test integration threaded)
endif()
