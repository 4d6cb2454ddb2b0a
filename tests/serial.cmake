add_executable(ventora_serial_unit_tests
  unit/byte_ring_test.cpp
  unit/receive_pass_test.cpp
  unit/port_naming_test.cpp
  unit/telnet_codec_test.cpp
)
if(NOT WIN32)
  target_sources(ventora_serial_unit_tests PRIVATE unit/adapter_info_test.cpp)
endif()
target_link_libraries(ventora_serial_unit_tests PRIVATE
  ventora_serial ventora_net ventora_test_support GTest::gtest_main)
ventora_add_gtests(ventora_serial_unit_tests unit threaded)

add_executable(ventora_serial_pty_tests
  integration/serial_port_test.cpp
)
if(WIN32)
  target_sources(ventora_serial_pty_tests PRIVATE wine/line_peer_win32.cpp)
  target_link_libraries(ventora_serial_pty_tests PRIVATE ventora_host_connection)
else()
  target_sources(ventora_serial_pty_tests PRIVATE integration/line_peer_posix.cpp)
endif()
target_link_libraries(ventora_serial_pty_tests PRIVATE ventora_serial GTest::gtest_main)
ventora_add_gtests(ventora_serial_pty_tests integration threaded)

if(TARGET ventora_sim)
  add_executable(ventora_receive_thread_tests
    integration/receive_thread_test.cpp
  )
  target_link_libraries(ventora_receive_thread_tests PRIVATE
    ventora_serial ventora_sim ventora_test_support GTest::gtest_main)
  ventora_add_gtests(ventora_receive_thread_tests integration threaded)
endif()
