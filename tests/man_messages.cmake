# SPDX-License-Identifier: MIT
# Checks that the manual page names every message the program prints.
# A message is a string literal in the sources that ends in a newline, or
# the text given to loader_reject or kept in a constant named *_MESSAGE.
# Variables: SOURCES (a list), MANUAL.
file(READ ${MANUAL} manual)
set(checked 0)
foreach(source IN LISTS SOURCES)
  file(READ ${source} code)
  string(REGEX REPLACE "//[^\n]*" "" code "${code}")  # comments say no messages
  string(REGEX MATCHALL "\"([^\"\\\\\n]|\\\\[^\n])*\\\\n\"" ending "${code}")
  string(REGEX MATCHALL "loader_reject\\([a-z_]+,[ \n]*(std::string\\()?\"[^\"]*\"" rejects "${code}")
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
if(checked LESS 10)
  message(FATAL_ERROR "found only ${checked} messages in the sources: has their form changed?")
endif()
message("${checked} messages checked")
