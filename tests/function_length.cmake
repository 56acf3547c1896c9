# SPDX-License-Identifier: MIT
# Checks that no function in the given sources is longer than LIMIT lines.
# A function starts at a line at the left margin that opens a parameter
# list, once a line ends its signature with a brace, and ends at the brace
# at the left margin that closes it. Variables: SOURCES (a list), LIMIT.
set(long "")
foreach(source IN LISTS SOURCES)
  file(STRINGS ${source} lines)
  set(number 0)
  set(start 0)    # the first line of the function being read; 0: none
  set(pending 0)  # the first line of a signature not yet ended
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(start EQUAL 0)
      if(pending EQUAL 0 AND line MATCHES "^[A-Za-z][^;]*[(]" AND
         NOT line MATCHES "^(namespace|struct|class|enum|union|using|static_assert|EM_JS)")
        set(pending ${number})
        set(name "${line}")
      endif()
      if(pending GREATER 0 AND line MATCHES "[{]$")
        set(start ${pending})
        set(pending 0)
      elseif(pending GREATER 0 AND line MATCHES "[;]$")
        set(pending 0)
      endif()
    elseif(line MATCHES "^[}]")
      math(EXPR length "${number} - ${start} + 1")
      if(length GREATER LIMIT)
        string(APPEND long "\n  ${source}:${start}: ${length} lines: ${name}")
      endif()
      set(start 0)
    endif()
  endforeach()
endforeach()
if(long)
  message(FATAL_ERROR "functions longer than ${LIMIT} lines:${long}")
endif()
list(LENGTH SOURCES count)
message("${count} files: no function longer than ${LIMIT} lines")
