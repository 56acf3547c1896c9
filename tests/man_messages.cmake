# SPDX-License-Identifier: MIT
# Checks that a manual page names every message its program prints. A
# message is the text given to loader_reject, companion_say or
# companion_trouble, or kept in a constant named *_MESSAGE; with LINES set,
# also every string literal that ends in a newline (the engine's messages
# are written so; a companion's --help is, and is no message). Variables:
# SOURCES (a list), MANUAL, LINES, FEWEST (messages expected at least).
file(READ ${MANUAL} manual)
set(checked 0)
foreach(source IN LISTS SOURCES)
  file(READ ${source} code)
  string(REGEX REPLACE "//[^\n]*" "" code "${code}")  # comments say no messages
  set(ending "")
  if(LINES)
    string(REGEX MATCHALL "\"([^\"\\\\\n]|\\\\[^\n])*\\\\n\"" ending "${code}")
  endif()
  string(REGEX MATCHALL "(loader_reject|companion_say|companion_trouble)\\([A-Za-z_]+,[ \n]*(std::string\\()?\"[^\"]*\"" rejects "${code}")
  string(REGEX MATCHALL "[A-Z_]+_MESSAGE\\[\\] = \"[^\"]*\"" constants "${code}")
  foreach(literal IN LISTS ending rejects constants)
    string(REGEX MATCH "\"(.*)\"" quoted "${literal}")
    string(REGEX REPLACE "\\\\n$" "" message "${CMAKE_MATCH_1}")
    if(NOT message MATCHES "[A-Za-z]")
      continue()
    endif()
    math(EXPR checked "${checked} + 1")
    string(FIND "${manual}" "${message}" at)
    if(at EQUAL -1)
      message(SEND_ERROR "${MANUAL} does not mention the message \"${message}\" of ${source}")
    endif()
  endforeach()
endforeach()
if(checked LESS FEWEST)
  message(FATAL_ERROR "found only ${checked} messages in the sources: has their form changed?")
endif()
message("${checked} messages checked")
