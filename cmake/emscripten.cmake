# SPDX-License-Identifier: MIT
# Toolchain for the web page's engine: Emscripten, wherever it is installed.
# em-config names its root, whose own toolchain file does the work.
find_program(SENTGEN_EM_CONFIG em-config)
if(NOT SENTGEN_EM_CONFIG)
  message(FATAL_ERROR "Emscripten was not found (apt-get install emscripten)")
endif()
execute_process(COMMAND ${SENTGEN_EM_CONFIG} EMSCRIPTEN_ROOT
  OUTPUT_VARIABLE SENTGEN_EMSCRIPTEN_ROOT OUTPUT_STRIP_TRAILING_WHITESPACE)
include(${SENTGEN_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake)

# Debian's Emscripten runs its JavaScript tools with the machine's node,
# which finds Debian's JavaScript modules only through NODE_PATH when it is
# not Debian's own node.
if(EXISTS /usr/share/nodejs AND NOT DEFINED ENV{NODE_PATH})
  set(ENV{NODE_PATH} /usr/share/nodejs)  # for the compiler checks at configure time
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
  set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
endif()
