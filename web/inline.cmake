# SPDX-License-Identifier: MIT
cmake_minimum_required(VERSION 3.20)  # "@NAME@" is text, not a variable
# Makes the page one self-contained file: index.html with its style, its
# scripts, the worker with the engine and its calls (its WebAssembly inside, in base64)
# and the example grammars put in place. Variables: SOURCE (web/), ENGINE
# (the engine's JavaScript), EXAMPLES (the examples folder), OUTPUT.
file(READ ${SOURCE}/index.html page)
file(READ ${SOURCE}/style.css style)
file(READ ${SOURCE}/bytes.js bytes)
file(READ ${SOURCE}/byte_font.js byte_font)
file(READ ${SOURCE}/page.js script)
file(READ ${SOURCE}/derivation.js derivation)
file(READ ${SOURCE}/worker.js worker)
file(READ ${SOURCE}/engine_job.js job)
file(READ ${ENGINE} engine)

# The example grammars as a JSON array of {"name", "text"}.
file(GLOB example_dirs LIST_DIRECTORIES true ${EXAMPLES}/*)
set(examples "")
foreach(dir IN LISTS example_dirs)
  get_filename_component(name ${dir} NAME)
  file(READ ${dir}/grammar.txt text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\r" "\\r" text "${text}")
  string(REPLACE "\t" "\\t" text "${text}")
  string(REPLACE "<" "\\u003c" text "${text}")
  if(examples)
    string(APPEND examples ",")
  endif()
  string(APPEND examples "{\"name\":\"${name}\",\"text\":\"${text}\"}")
endforeach()

# A script that held "</script" would end its element early.
foreach(part engine job worker bytes byte_font script derivation)
  string(TOLOWER "${${part}}" lower)
  string(FIND "${lower}" "</script" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the ${part} script holds \"</script\" and cannot be put in the page")
  endif()
endforeach()

string(REPLACE "@STYLE@" "${style}" page "${page}")
string(REPLACE "@EXAMPLES@" "[${examples}]" page "${page}")
string(REPLACE "@ENGINE@" "${engine}" page "${page}")
string(REPLACE "@JOB@" "${job}" page "${page}")
string(REPLACE "@WORKER@" "${worker}" page "${page}")
string(REPLACE "@BYTES@" "${bytes}" page "${page}")
string(REPLACE "@BYTE_FONT@" "${byte_font}" page "${page}")
string(REPLACE "@PAGE@" "${script}" page "${page}")
string(REPLACE "@DERIVATION@" "${derivation}" page "${page}")
file(WRITE ${OUTPUT} "${page}")
