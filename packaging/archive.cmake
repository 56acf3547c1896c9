# SPDX-License-Identifier: MIT
# The release archive: one folder, sentgen-VERSION-SYSTEM-ARCH, that holds
# the program, README.md, the licence, the manual page and the example
# grammars; cpack makes it a .tar.gz, or a .zip for Windows. The Windows
# archive has its text files with CR LF line ends, LICENSE.txt for a name
# that opens with a double click, and the manual rendered as text, since
# Windows has no man.
string(TOLOWER "${CMAKE_SYSTEM_NAME}" system)
string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" arch)
if(arch STREQUAL "amd64")
  set(arch x86_64)  # Windows' own name for it
endif()
set(CPACK_PACKAGE_FILE_NAME sentgen-${PROJECT_VERSION}-${system}-${arch})

install(TARGETS sentgen ${SENTGEN_COMPANIONS} RUNTIME DESTINATION .)
if(NOT WIN32)
  set(CPACK_GENERATOR TGZ)
  install(FILES README.md LICENSE ${SENTGEN_MANUALS} DESTINATION .)
  install(DIRECTORY examples DESTINATION .)
else()
  set(CPACK_GENERATOR ZIP)
  # Each text file and its name in the archive.
  file(GLOB_RECURSE examples RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/examples/*)
  set(texts README.md:README.md LICENSE:LICENSE.txt)
  foreach(manual IN LISTS SENTGEN_MANUALS)
    get_filename_component(name ${manual} NAME)
    list(APPEND texts ${manual}:${name})
  endforeach()
  foreach(example IN LISTS examples)
    list(APPEND texts ${example}:${example})
  endforeach()
  set(crlf ${PROJECT_SOURCE_DIR}/packaging/crlf.cmake)
  set(archive ${CMAKE_BINARY_DIR}/archive)
  set(outputs "")
  foreach(pair IN LISTS texts)
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 source)
    list(GET pair 1 name)
    add_custom_command(OUTPUT ${archive}/${name}
      COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/${source} -DOUT=${archive}/${name}
        -P ${crlf}
      DEPENDS ${PROJECT_SOURCE_DIR}/${source} ${crlf} VERBATIM)
    list(APPEND outputs ${archive}/${name})
  endforeach()
  find_program(SENTGEN_GROFF groff REQUIRED)  # renders the manuals as text
  foreach(manual IN LISTS SENTGEN_MANUALS)
    get_filename_component(program ${manual} NAME_WE)
    add_custom_command(OUTPUT ${archive}/${program}-manual.txt
      COMMAND ${SENTGEN_GROFF} -man -Tascii -P-cbou ${PROJECT_SOURCE_DIR}/${manual}
        > ${program}-manual.lf
      COMMAND ${CMAKE_COMMAND} -DIN=${program}-manual.lf -DOUT=${archive}/${program}-manual.txt
        -P ${crlf}
      DEPENDS ${PROJECT_SOURCE_DIR}/${manual} ${crlf} VERBATIM)
    list(APPEND outputs ${archive}/${program}-manual.txt)
  endforeach()
  add_custom_target(sentgen_archive_texts ALL DEPENDS ${outputs})
  install(DIRECTORY ${archive}/ DESTINATION .)
endif()
