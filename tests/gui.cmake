if(TARGET ventora_app)
  if(TARGET ventora_sim)
    find_package(Qt6 REQUIRED COMPONENTS Test)
    # Every dialog starts its receive thread, hence "threaded" too.
    add_executable(ventora_gui_tests
      gui/gui_main.cpp
      gui/config_dialog_test.cpp
      gui/config_app_test.cpp
      gui/end_to_end_test.cpp
      gui/language_test.cpp
    )
    target_link_libraries(ventora_gui_tests PRIVATE ventora_app ventora_sim ventora_test_support Qt6::Test GTest::gtest)
    target_compile_definitions(ventora_gui_tests PRIVATE
      VENTORA_PROJECT_MAJOR_MINOR="${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
    # Listed from the sources: a list-valued LABELS does not survive
    # gtest_discover_tests' PROPERTIES.
    gtest_add_tests(TARGET ventora_gui_tests TEST_LIST guiTests)
    set_tests_properties(${guiTests} PROPERTIES
      LABELS "gui;threaded" ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 60
      ENVIRONMENT_MODIFICATION
        "TSAN_OPTIONS=string_append: suppressions=${CMAKE_CURRENT_SOURCE_DIR}/gui/qt_tsan.supp")
  endif()
endif()
