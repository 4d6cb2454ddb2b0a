if(TARGET ventora_cli_core)
  add_executable(cli_unit_tests
    unit/cli_options_test.cpp
    unit/cli_watch_track_test.cpp
    unit/cli_commission_test.cpp
    unit/cli_mqtt_topics_test.cpp
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
      # A line of several transmitters, and the live table on a pseudo-terminal.
      add_executable(cli_line_tests integration/cli_line_test.cpp)
      target_link_libraries(cli_line_tests PRIVATE ventora_sim ventora_test_support GTest::gtest_main)
      target_compile_definitions(cli_line_tests PRIVATE VENTORA_CLI_PATH="$<TARGET_FILE:ventora-cli>")
      add_dependencies(cli_line_tests ventora-cli)
      ventora_add_gtests(cli_line_tests integration threaded)

      # Remote buses: through ser2net (RFC 2217) on 127.0.0.1; skipped without ser2net.
      add_executable(cli_remote_tests integration/cli_remote_test.cpp)
      target_link_libraries(cli_remote_tests PRIVATE ventora_sim ventora_test_support GTest::gtest_main)
      target_compile_definitions(cli_remote_tests PRIVATE VENTORA_CLI_PATH="$<TARGET_FILE:ventora-cli>")
      add_dependencies(cli_remote_tests ventora-cli)
      ventora_add_gtests(cli_remote_tests integration threaded)

      # watch --mqtt against Debian's mosquitto on 127.0.0.1; skipped without mosquitto.
      add_library(ventora_mqtt_test_support STATIC support/mqtt_broker_posix.cpp)
      target_link_libraries(ventora_mqtt_test_support PUBLIC ventora_test_support)
      add_executable(cli_mqtt_tests integration/cli_mqtt_test.cpp)
      target_link_libraries(cli_mqtt_tests PRIVATE ventora_cli_core ventora_mqtt_test_support GTest::gtest_main)
      target_compile_definitions(cli_mqtt_tests PRIVATE VENTORA_CLI_PATH="$<TARGET_FILE:ventora-cli>")
      add_dependencies(cli_mqtt_tests ventora-cli)
      ventora_add_gtests(cli_mqtt_tests integration threaded)
    endif()
  endif()
endif()
