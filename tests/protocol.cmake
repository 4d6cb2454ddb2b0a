add_executable(protocol_unit_tests
  unit/crc16_test.cpp
  unit/frames_test.cpp
  unit/dialect_test.cpp
  unit/validators_test.cpp
  unit/echo_test.cpp
  unit/operations_test.cpp
)
target_link_libraries(protocol_unit_tests PRIVATE ventora_window ventora_test_support GTest::gtest_main)
ventora_add_gtests(protocol_unit_tests unit)

if(TARGET ventora_sim)
  add_executable(protocol_integration_tests integration/protocol_integration_test.cpp)
  target_link_libraries(protocol_integration_tests PRIVATE
    ventora_window ventora_sim ventora_test_support GTest::gtest_main)
  ventora_add_gtests(protocol_integration_tests integration threaded)

  add_executable(protocol_fault_tests integration/fault_test.cpp)
  target_link_libraries(protocol_fault_tests PRIVATE
    ventora_window ventora_sim ventora_test_support GTest::gtest_main)
  ventora_add_gtests(protocol_fault_tests integration threaded)
endif()

if(VENTORA_BUILD_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_subdirectory(fuzz)
endif()
