# The Windows artifact: the static programs (ventora-cli.exe, and Ventora.exe
# when the window is built), a note on their use, and the licences of what is
# linked into them, taken from the Debian packages that provide it (CLI11,
# nlohmann-json, the MinGW-w64 runtime and winpthreads, GCC's libstdc++ and
# libgcc).
if(WIN32 AND TARGET ventora-cli)
  set(VENTORA_LICENCE_DOCS "/usr/share/doc" CACHE PATH "Where the Debian packages' copyright files are")
  set(name ventora-cli-${PROJECT_VERSION}-win64)
  set(stage ${PROJECT_BINARY_DIR}/windows-zip/zip/${name})
  set(zip ${PROJECT_BINARY_DIR}/${name}.zip)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/windows-zip/zip)
  configure_file(cli/windows/README.txt.in ${PROJECT_BINARY_DIR}/windows-zip/README.txt @ONLY NEWLINE_STYLE CRLF)
  set(licences
    libcli11-dev CLI11.txt
    nlohmann-json3-dev nlohmann-json.txt
    mingw-w64-x86-64-dev mingw-w64-runtime-and-winpthreads.txt
    gcc-mingw-w64-base gcc-runtime-libraries.txt)
  set(program_targets ventora-cli)
  if(TARGET Ventora)
    list(APPEND program_targets Ventora)
  endif()
  set(programs)
  set(stripped)
  foreach(target IN LISTS program_targets)
    list(APPEND programs $<TARGET_FILE:${target}>)
    list(APPEND stripped ${stage}/$<TARGET_FILE_NAME:${target}>)
  endforeach()
  set(copies)
  while(licences)
    list(POP_FRONT licences package file)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy ${VENTORA_LICENCE_DOCS}/${package}/copyright
                               ${stage}/licences/${file})
  endwhile()
  add_custom_command(OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage} ${zip}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/licences
    COMMAND ${CMAKE_COMMAND} -E copy ${programs} ${PROJECT_BINARY_DIR}/windows-zip/README.txt ${stage}
    # Debug information stays in the build; the zip gets the stripped programs.
    COMMAND ${CMAKE_STRIP} ${stripped}
    ${copies}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip ${name}
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/windows-zip/zip
    DEPENDS ${program_targets} ${PROJECT_BINARY_DIR}/windows-zip/README.txt
    VERBATIM)
  add_custom_target(ventora-cli-zip DEPENDS ${zip})
endif()
