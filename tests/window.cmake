# The window's behaviour without a toolkit: a recording view, no display.
if(TARGET ventora_window)
  add_executable(ventora_window_unit_tests
    unit/config_window_test.cpp
    unit/minimised_icon_test.cpp
    unit/label_fit_test.cpp
    unit/texts_test.cpp
  )
  target_link_libraries(ventora_window_unit_tests PRIVATE ventora_window ventora_test_support GTest::gtest_main)
  # Initialisation starts the receive thread, hence "threaded" too.
  ventora_add_gtests(ventora_window_unit_tests unit threaded)
endif()
