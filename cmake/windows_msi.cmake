# The per-user Windows installer, ventora-<version>-win64.msi: packaging/ventora.wxs
# built with wixl (Debian's wixl and msitools) from the zip's folder, so that
# both carry the same stripped programs, README.txt and licences. Uses the zip's
# ${name} and ${zip} from windows_zip.cmake.
#
# wixl leaves the File table's Version column empty, so Windows Installer would
# treat the programs as unversioned files, compared by hash and date, when a
# newer version replaces them. msibuild stamps the project's version on both
# (Ventora.exe's version record carries the same) and drops their hash rows,
# which only unversioned files have.
if(TARGET ventora-cli-zip AND TARGET Ventora)
  find_program(VENTORA_WIXL wixl)
  find_program(VENTORA_MSIBUILD msibuild)
  if(NOT VENTORA_WIXL OR NOT VENTORA_MSIBUILD)
    message(STATUS "The MSI is not built: install Debian's wixl and msitools")
    return()
  endif()
  set(msi ${PROJECT_BINARY_DIR}/ventora-${PROJECT_VERSION}-win64.msi)
  # wixl 0.101 takes only paths relative to the folder it runs in.
  set(zip_folder ${PROJECT_BINARY_DIR}/windows-zip/zip)
  file(RELATIVE_PATH icon ${zip_folder} ${PROJECT_SOURCE_DIR}/app/res/ventora.ico)
  set(stamps)
  foreach(file VentoraExe VentoraCliExe)
    list(APPEND stamps -q "UPDATE File SET Version = '${PROJECT_VERSION}' WHERE File = '${file}'"
                       -q "DELETE FROM MsiFileHash WHERE File_ = '${file}'")
  endforeach()
  add_custom_command(OUTPUT ${msi}
    COMMAND ${VENTORA_WIXL} -a x64 -D Version=${PROJECT_VERSION} -D Stage=${name} -D Icon=${icon}
            -o ${msi}.tmp ${PROJECT_SOURCE_DIR}/packaging/ventora.wxs
    COMMAND ${VENTORA_MSIBUILD} ${msi}.tmp ${stamps}
    COMMAND ${CMAKE_COMMAND} -E rename ${msi}.tmp ${msi}
    WORKING_DIRECTORY ${zip_folder}
    DEPENDS ${zip} ${PROJECT_SOURCE_DIR}/packaging/ventora.wxs ${PROJECT_SOURCE_DIR}/app/res/ventora.ico
    VERBATIM)
  add_custom_target(ventora-msi DEPENDS ${msi})
  add_dependencies(ventora-msi ventora-cli-zip)
endif()
