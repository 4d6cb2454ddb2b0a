# The sim seen through plain termios: Linux only.
if(NOT WIN32)
  add_executable(sim_transmitter_test integration/sim_transmitter_test.cpp integration/sim_line_test.cpp)
  target_link_libraries(sim_transmitter_test PRIVATE ventora_sim GTest::gtest_main)
  ventora_add_gtests(sim_transmitter_test integration threaded)

  # ventora-sim's command line, run through the process runner of the CLI tests.
  add_executable(sim_options_test integration/sim_options_test.cpp)
  target_link_libraries(sim_options_test PRIVATE ventora_test_support GTest::gtest_main)
  target_compile_definitions(sim_options_test PRIVATE VENTORA_SIM_PATH="$<TARGET_FILE:ventora-sim>")
  add_dependencies(sim_options_test ventora-sim)
  ventora_add_gtests(sim_options_test integration)
endif()
