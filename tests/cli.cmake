if(TARGET ventora_cli_core)
  add_executable(cli_unit_tests
    unit/cli_options_test.cpp
    unit/cli_watch_track_test.cpp
    unit/cli_commission_test.cpp
    unit/cli_mqtt_topics_test.cpp
    unit/cli_link_test.cpp
    unit/reply_framing_test.cpp
  )
  target_link_libraries(cli_unit_tests PRIVATE ventora_cli_core GTest::gtest_main)
  ventora_add_gtests(cli_unit_tests unit)

  if(TARGET ventora_sim)
    add_executable(cli_integration_tests integration/cli_test.cpp)
    target_link_libraries(cli_integration_tests PRIVATE ventora_sim ventora_test_support GTest::gtest_main)
    target_compile_definitions(cli_integration_tests PRIVATE VENTORA_CLI_PATH="$<TARGET_FILE:ventora-cli>")
    add_dependencies(cli_integration_tests ventora-cli)
    ventora_add_gtests(cli_integration_tests integration threaded)

    if(NOT WIN32)
      # cli_line: a line of several transmitters, and the live table on a pseudo-terminal.
      # cli_remote: remote buses through ser2net (RFC 2217) on 127.0.0.1; skipped without ser2net.
      # cli_device_server: ser2net's raw accepter and a Modbus TCP gateway, checked against mbpoll.
      # cli_mqtt: watch --mqtt against Debian's mosquitto on 127.0.0.1; skipped without mosquitto.
      foreach(name cli_line cli_remote cli_device_server cli_mqtt)
        add_executable(${name}_tests integration/${name}_test.cpp)
        target_link_libraries(${name}_tests PRIVATE ventora_sim ventora_test_support GTest::gtest_main)
        target_compile_definitions(${name}_tests PRIVATE VENTORA_CLI_PATH="$<TARGET_FILE:ventora-cli>")
        add_dependencies(${name}_tests ventora-cli)
        ventora_add_gtests(${name}_tests integration threaded)
      endforeach()
      target_link_libraries(cli_mqtt_tests PRIVATE ventora_cli_core)
    endif()
  endif()
endif()
