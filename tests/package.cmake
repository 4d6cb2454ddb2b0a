# The one version reaches each place that shows it (the About box: gui tests).
# The package's contents and the validators run on the installed files in CI
# (.ci/package).
if(NOT VENTORA_APPSTREAM_ID)
  return()  # no package in this build (Windows)
endif()
find_program(WINDRES x86_64-w64-mingw32-windres)

set(v "${PROJECT_VERSION_MAJOR}, ${PROJECT_VERSION_MINOR}, ${VENTORA_VERSION_PATCH}, ${VENTORA_VERSION_TWEAK}")
string(REPLACE "." "\\." escaped_version ${PROJECT_VERSION})

if(TARGET ventora-cli)
  add_test(NAME package.cli_version_is_the_project_version COMMAND ventora-cli --version)
  set_tests_properties(package.cli_version_is_the_project_version PROPERTIES
    LABELS unit PASS_REGULAR_EXPRESSION "^ventora-cli ${escaped_version}\n$")
endif()

if(WINDRES)
  # The version record, as the resource compiler reads it.
  foreach(row "FILEVERSION ${v}" "PRODUCTVERSION ${v}" "VALUE \"FileVersion\", \"${v}\"" "VALUE \"ProductVersion\", \"${v}\"")
    string(MAKE_C_IDENTIFIER "${row}" name)
    add_test(NAME package.version_record.${name}
      COMMAND ${WINDRES} -I${PROJECT_BINARY_DIR}/generated -I${PROJECT_SOURCE_DIR}/app/res
        -O rc ${PROJECT_SOURCE_DIR}/app/res/ventora.rc)
    set_tests_properties(package.version_record.${name} PROPERTIES LABELS unit PASS_REGULAR_EXPRESSION "${row}\n")
  endforeach()
endif()
