# SPDX-License-Identifier: MIT
cmake_minimum_required(VERSION 3.20)  # "@NAME@" is text, not a variable
# Makes the page one self-contained file: index.html with its style, its
# scripts, the worker with the engine and its calls (its WebAssembly
# gzipped, in base64) and the example grammars put in place. Variables:
# SOURCE (web/), ENGINE (the engine's JavaScript), WASM (its WebAssembly),
# NODE (node, which gzips it), EXAMPLES (the examples folder), OUTPUT.

# The page's scripts, each one factory or one set of functions, in an
# order where each comes after what it is given; main.js wires them. They
# share one function's scope, so that none of them is a global of the page.
set(page_scripts bytes.js byte_font.js tree.js editor.js output.js engine_worker.js runner.js checker.js
  derivation.js tree_view.js test_strings.js compare.js steps.js cover_view.js address.js main.js)
# The worker's: the engine's calls and the trees, then the worker, which
# takes the page's messages.
set(worker_scripts engine_job.js tree.js worker.js)

file(READ ${SOURCE}/index.html page)
file(READ ${SOURCE}/style.css style)
file(READ ${ENGINE} engine)
execute_process(COMMAND ${NODE} -e "process.stdout.write(require('zlib').gzipSync(\
require('fs').readFileSync(process.argv[1]), { level: 9 }).toString('base64'))" ${WASM}
  OUTPUT_VARIABLE wasm RESULT_VARIABLE packed)
if(NOT packed EQUAL 0)
  message(FATAL_ERROR "the engine's WebAssembly could not be packed: ${packed}")
endif()

# A script that held "</script" would end its element early.
function(read_script file into)
  file(READ ${SOURCE}/${file} text)
  string(TOLOWER "${text}" lower)
  string(FIND "${lower}" "</script" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${file} holds \"</script\" and cannot be put in the page")
  endif()
  set(${into} "${${into}}${text}" PARENT_SCOPE)
endfunction()

set(scripts "(() => {\n")
foreach(file IN LISTS page_scripts)
  read_script(${file} scripts)
endforeach()
string(APPEND scripts "})();")
set(worker "")
foreach(file IN LISTS worker_scripts)
  read_script(${file} worker)
endforeach()
string(TOLOWER "${engine}" lower)
string(FIND "${lower}" "</script" at)
if(NOT at EQUAL -1)
  message(FATAL_ERROR "the engine's script holds \"</script\" and cannot be put in the page")
endif()

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

string(REPLACE "@STYLE@" "${style}" page "${page}")
string(REPLACE "@EXAMPLES@" "[${examples}]" page "${page}")
string(REPLACE "@WASM@" "${wasm}" page "${page}")
string(REPLACE "@ENGINE@" "${engine}" page "${page}")
string(REPLACE "@WORKER@" "${worker}" page "${page}")
string(REPLACE "@SCRIPTS@" "${scripts}" page "${page}")
file(WRITE ${OUTPUT} "${page}")
