# SPDX-License-Identifier: MIT
# Runs the program once in a scratch folder and compares its exit status,
# standard output and standard error with a case's expected ones, byte for
# byte. Variables: SENTGEN, COMPANIONS (NAME=PATH, one for each companion
# program, separated by commas), EMULATOR (may be empty), CASE, WORK, CRLF,
# SKIP, CAT (a program that copies its input, for cases read through a pipe).
# A case that needs what this system lacks says SKIPPED and why.
if(SKIP)
  message("SKIPPED: ${SKIP}")
  return()
endif()

# A macro, so that its return() ends the script.
macro(skip why)
  message("SKIPPED: ${why}")
  return()
endmacro()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/run)
set(grammar ${WORK}/run/grammar.txt)
find_program(SH sh)

# The grammar file: a copy of the case's, a symbolic link (grammar-link
# holds its target), or a FIFO fed by a shell script (grammar-fifo).
if(EXISTS ${CASE}/grammar.txt)
  file(COPY ${CASE}/grammar.txt DESTINATION ${WORK}/run)
endif()
# files/: more files for the run's folder, such as a second grammar.
if(IS_DIRECTORY ${CASE}/files)
  file(GLOB extra LIST_DIRECTORIES true ${CASE}/files/*)
  file(COPY ${extra} DESTINATION ${WORK}/run)
endif()
if(EXISTS ${CASE}/grammar-link)
  file(STRINGS ${CASE}/grammar-link target LIMIT_COUNT 1)
  file(CREATE_LINK ${target} ${grammar} SYMBOLIC)
endif()

# grammar-mode: permission bits for the file. A program run by root reads
# any file, so then it runs as the unprivileged user 65534, from a copy in
# a folder that any user can reach (the build folder may not be).
set(program ${SENTGEN})
# program: the case runs this companion program instead of sentgen.
if(EXISTS ${CASE}/program)
  file(STRINGS ${CASE}/program name LIMIT_COUNT 1)
  string(REPLACE "," ";" companions "${COMPANIONS}")
  set(program "")
  foreach(pair IN LISTS companions)
    if(pair MATCHES "^${name}=(.*)$")
      set(program ${CMAKE_MATCH_1})
    endif()
  endforeach()
  if(NOT program)
    message(FATAL_ERROR "${CASE}/program names ${name}, not a companion program: ${COMPANIONS}")
  endif()
endif()
set(privileges "")
set(scratch "")
if(EXISTS ${CASE}/grammar-mode)
  file(STRINGS ${CASE}/grammar-mode mode LIMIT_COUNT 1)
  execute_process(COMMAND ${SH} -c "chmod ${mode} grammar.txt && id -u"
    WORKING_DIRECTORY ${WORK}/run OUTPUT_VARIABLE user OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE chmod_status)
  if(NOT chmod_status EQUAL 0)
    skip("needs sh, chmod and id to set the file's permissions")
  endif()
  if(user STREQUAL "0")
    find_program(SETPRIV setpriv)
    if(NOT SETPRIV)
      skip("runs as root and has no setpriv to drop privileges")
    endif()
    string(RANDOM LENGTH 16 tag)
    set(scratch /tmp/sentgen-case-${tag})
    file(COPY ${SENTGEN} DESTINATION ${scratch})
    get_filename_component(name ${SENTGEN} NAME)
    set(program ${scratch}/${name})
    set(privileges ${SETPRIV} --reuid=65534 --regid=65534 --clear-groups --)
  endif()
endif()

set(command ${privileges} ${EMULATOR} ${program})
if(EXISTS ${CASE}/args)
  file(STRINGS ${CASE}/args args)
  list(APPEND command ${args})
endif()

if(EXISTS ${CASE}/grammar-fifo)
  find_program(MKFIFO mkfifo)
  if(NOT SH OR NOT MKFIFO)
    skip("needs sh and mkfifo to make a FIFO")
  endif()
  # The writer, a shell script, runs beside the program and stops when the
  # program closes the FIFO; its own complaints are not the program's.
  # (No semicolons: CMake would split the command there.)
  set(command ${SH} -c "${MKFIFO} grammar.txt || exit 99
${SH} '${CASE}/grammar-fifo' >grammar.txt 2>/dev/null &
exec \"$@\"" sh ${command})
endif()
# file-size-limit: the shell's ulimit -f for the run; standard output must
# then be a part of the expected one, from its start.
if(EXISTS ${CASE}/file-size-limit)
  if(NOT SH)
    skip("needs sh to limit the file size")
  endif()
  file(STRINGS ${CASE}/file-size-limit limit LIMIT_COUNT 1)
  set(command ${SH} -c "ulimit -f ${limit} && exec \"$@\"" sh ${command})
endif()

# inject-read-error: the read of grammar.txt with this number (counted
# from 1) fails with EIO, injected by strace into a native program.
if(EXISTS ${CASE}/inject-read-error)
  find_program(STRACE strace)
  if(EMULATOR)
    skip("strace cannot inject a failed read into an emulated program")
  endif()
  if(NOT STRACE)
    skip("needs strace to make a read fail (apt-get install strace)")
  endif()
  execute_process(COMMAND ${STRACE} -o /dev/null true RESULT_VARIABLE strace_status
    OUTPUT_QUIET ERROR_QUIET)
  if(NOT strace_status EQUAL 0)
    skip("strace cannot trace here (ptrace is not permitted)")
  endif()
  file(STRINGS ${CASE}/inject-read-error read_number LIMIT_COUNT 1)
  # A sanitized build's leak check cannot run under ptrace; the others can.
  set(ENV{ASAN_OPTIONS} "$ENV{ASAN_OPTIONS}:detect_leaks=0")
  set(command ${STRACE} -o /dev/null -P ${WORK}/run/grammar.txt -e trace=read
    -e inject=read:error=EIO:when=${read_number} -- ${command})
endif()

set(stdout ${WORK}/stdout)
if(EXISTS ${CASE}/stdout-path)
  file(STRINGS ${CASE}/stdout-path stdout LIMIT_COUNT 1)
  if(NOT EXISTS ${stdout})
    skip("${stdout} does not exist here")
  endif()
endif()
# With stdout-pipe, a second process reads the program's output through a
# pipe and copies it to the file.
set(reader "")
if(EXISTS ${CASE}/stdout-pipe)
  if(NOT CAT)
    skip("no cat program to read the pipe")
  endif()
  set(reader COMMAND ${CAT})
endif()
# stdin: the file the program reads as its standard input; else nothing.
set(input /dev/null)
if(EXISTS ${CASE}/stdin)
  set(input ${CASE}/stdin)
elseif(CMAKE_HOST_WIN32)
  set(input NUL)
endif()
execute_process(COMMAND ${command} ${reader}
  WORKING_DIRECTORY ${WORK}/run
  INPUT_FILE ${input}
  OUTPUT_FILE ${stdout}
  ERROR_FILE ${WORK}/stderr
  RESULTS_VARIABLE statuses
  TIMEOUT 120)
list(GET statuses 0 status)
if(scratch)
  file(REMOVE_RECURSE ${scratch})
endif()

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

# A long output is kept as the SHA-256 of its bytes (expected-sha256: with
# LF newlines, then with CR LF) and its first bytes (expected-head): the
# digest decides, the first bytes show where a difference starts.
function(compare_digest actual)
  file(STRINGS ${CASE}/expected-sha256 digests)
  if(CRLF)
    list(GET digests 1 want)
  else()
    list(GET digests 0 want)
  endif()
  file(SHA256 ${actual} got)
  if(got STREQUAL want)
    return()
  endif()
  read_bytes(${CASE}/expected-head head)
  file(SIZE ${actual} size)
  file(SIZE ${CASE}/expected-head head_size)
  math(EXPR limit "2 * ${head_size}")  # room for CR LF
  file(READ ${actual} text LIMIT ${limit} HEX)
  string(REGEX REPLACE "(..)" "\\1:" text "${text}")
  if(CRLF)
    string(REPLACE "0d:0a:" "0a:" text "${text}")
  endif()
  string(LENGTH "${head}" head_length)
  string(LENGTH "${text}" text_length)
  set(at 0)
  while(at LESS head_length AND at LESS text_length)
    string(SUBSTRING "${head}" ${at} 3 a)
    string(SUBSTRING "${text}" ${at} 3 b)
    if(NOT a STREQUAL b)
      break()
    endif()
    math(EXPR at "${at} + 3")
  endwhile()
  math(EXPR byte "${at} / 3")
  if(at EQUAL head_length)
    set(where "after the ${head_size} bytes of expected-head")
  else()
    set(where "at byte ${byte}")
  endif()
  set(failures "${failures}standard output (${size} bytes) differs from the digest in \
${CASE}/expected-sha256, first ${where} (got: ${actual})\n" PARENT_SCOPE)
endfunction()

# Under a file-size limit, the output the program could write is kept:
# some of the expected output, from its start.
function(compare_start actual expected)
  read_bytes(${actual} got)
  read_bytes(${expected} want)
  string(LENGTH "${got}" length)
  string(SUBSTRING "${want}" 0 ${length} want_start)
  if(length EQUAL 0 OR NOT got STREQUAL want_start)
    set(failures "${failures}standard output is not the start of ${expected} (got: ${actual})\n"
      PARENT_SCOPE)
  endif()
endfunction()

if(EXISTS ${CASE}/expected-sha256)
  compare_digest(${stdout})
elseif(EXISTS ${CASE}/file-size-limit)
  compare_start(${stdout} ${CASE}/expected)
elseif(NOT EXISTS ${CASE}/stdout-path)
  compare("standard output" ${stdout} ${CASE}/expected)
endif()
# stderr-windows: standard error on Windows, where the system words it
# otherwise.
if(CRLF AND EXISTS ${CASE}/stderr-windows)
  compare("standard error" ${WORK}/stderr ${CASE}/stderr-windows)
else()
  compare("standard error" ${WORK}/stderr ${CASE}/stderr)
endif()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
