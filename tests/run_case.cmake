# Runs the program once in a scratch folder and compares its exit status,
# standard output and standard error with a case's expected ones, byte for
# byte. Variables: SENTGEN, EMULATOR (may be empty), CASE, WORK, CRLF, SKIP,
# CAT (a program that copies its input, for cases read through a pipe).
if(SKIP)
  message("SKIPPED: ${SKIP}")
  return()
endif()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/run)
if(EXISTS ${CASE}/grammar.txt)
  file(COPY ${CASE}/grammar.txt DESTINATION ${WORK}/run)
endif()

set(args "")
if(EXISTS ${CASE}/args)
  file(STRINGS ${CASE}/args args)
endif()
set(stdout ${WORK}/stdout)
if(EXISTS ${CASE}/stdout-path)
  file(STRINGS ${CASE}/stdout-path stdout LIMIT_COUNT 1)
endif()
# With stdout-pipe, a second process reads the program's output through a
# pipe and copies it to the file.
set(reader "")
if(EXISTS ${CASE}/stdout-pipe)
  if(NOT CAT)
    message("SKIPPED: no cat program to read the pipe")
    return()
  endif()
  set(reader COMMAND ${CAT})
endif()
execute_process(COMMAND ${EMULATOR} ${SENTGEN} ${args} ${reader}
  WORKING_DIRECTORY ${WORK}/run
  OUTPUT_FILE ${stdout}
  ERROR_FILE ${WORK}/stderr
  RESULTS_VARIABLE statuses)
list(GET statuses 0 status)

set(failures "")
set(expected_status 0)
if(EXISTS ${CASE}/status)
  file(STRINGS ${CASE}/status expected_status LIMIT_COUNT 1)
endif()
if(NOT "${status}" STREQUAL "${expected_status}")
  string(APPEND failures "exit status ${status}, expected ${expected_status}\n")
endif()

# Reads a file as hex, one "hh:" token a byte, so that newlines can be
# replaced on byte boundaries only.
function(read_bytes file out)
  set(hex "")
  if(EXISTS ${file})
    file(READ ${file} hex HEX)
    string(REGEX REPLACE "(..)" "\\1:" hex "${hex}")
  endif()
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# Compares `actual` with `expected` (absent: empty), turning the expected
# LF newlines into CR LF when the program writes text-mode output.
function(compare what actual expected)
  read_bytes(${actual} got)
  read_bytes(${expected} want)
  if(CRLF)
    string(REPLACE "0a:" "0d:0a:" want "${want}")
  endif()
  if(NOT got STREQUAL want)
    set(failures "${failures}${what} differs from ${expected} (got: ${actual})\n" PARENT_SCOPE)
  endif()
endfunction()

# A long output is kept as its SHA-256 (expected-sha256) and its first bytes
# (expected-head): the digest decides, the first bytes show where a
# difference starts. The output must then hold no NUL byte, since CMake
# reads it as text to undo CR LF.
function(compare_digest actual)
  file(STRINGS ${CASE}/expected-sha256 want LIMIT_COUNT 1)
  file(READ ${actual} text)
  file(SIZE ${actual} size)
  string(LENGTH "${text}" length)
  if(NOT length EQUAL size)
    set(failures "${failures}standard output holds a NUL byte (got: ${actual})\n" PARENT_SCOPE)
    return()
  endif()
  if(CRLF)
    string(REPLACE "\r\n" "\n" text "${text}")
  endif()
  string(SHA256 got "${text}")
  if(got STREQUAL want)
    return()
  endif()
  file(READ ${CASE}/expected-head head)
  string(LENGTH "${head}" head_length)
  string(LENGTH "${text}" length)
  string(SUBSTRING "${text}" 0 ${head_length} text)
  set(at 0)
  while(at LESS head_length AND at LESS length)
    string(SUBSTRING "${head}" ${at} 1 a)
    string(SUBSTRING "${text}" ${at} 1 b)
    if(NOT a STREQUAL b)
      break()
    endif()
    math(EXPR at "${at} + 1")
  endwhile()
  if(at EQUAL head_length)
    set(where "after the ${head_length} bytes of expected-head")
  else()
    set(where "at byte ${at}")
  endif()
  set(failures "${failures}standard output differs from the digest in ${CASE}/expected-sha256, \
${length} bytes, first difference ${where} (got: ${actual})\n" PARENT_SCOPE)
endfunction()

if(EXISTS ${CASE}/expected-sha256)
  compare_digest(${stdout})
elseif(NOT EXISTS ${CASE}/stdout-path)
  compare("standard output" ${stdout} ${CASE}/expected)
endif()
compare("standard error" ${WORK}/stderr ${CASE}/stderr)

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
