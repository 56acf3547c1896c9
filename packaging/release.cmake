# SPDX-License-Identifier: MIT
# The release: every download built afresh from this source into
# build-release/dist/, with SHA256SUMS:
#   cmake -P packaging/release.cmake [-DJOBS=N]
# - sentgen-VERSION-linux-x86_64.tar.gz    the static program (release-linux)
# - sentgen-VERSION-windows-x86_64.zip     the MinGW-w64 program (release-windows)
# - sentgen_VERSION-1_amd64.deb            the Debian package (release-deb)
# - sentgen.html                           the web page (release-page)
# Every build runs with SOURCE_DATE_EPOCH at the last commit's time (or as
# the environment sets it, outside a git clone), so that the same commit
# gives the same bytes; each build folder is made anew.
cmake_minimum_required(VERSION 3.21)  # presets
get_filename_component(source ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(release ${source}/build-release)
set(dist ${release}/dist)
if(NOT JOBS)
  cmake_host_system_information(RESULT JOBS QUERY NUMBER_OF_LOGICAL_CORES)
endif()

if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${source}
    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "${source} is not a git clone: set SOURCE_DATE_EPOCH to the time "
      "of its commit, in seconds since 1970")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
message(STATUS "release: SOURCE_DATE_EPOCH=$ENV{SOURCE_DATE_EPOCH}")

# Runs a command in `dir`; a failure stops the release.
function(release_run dir)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${dir} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "release: ${command} failed (${status})")
  endif()
endfunction()

file(REMOVE_RECURSE ${dist})
file(MAKE_DIRECTORY ${dist})
# Each preset, its build folder and the artifact it gives.
foreach(build linux:sentgen-*.tar.gz windows:sentgen-*.zip deb:sentgen_*.deb page:sentgen.html)
  string(REPLACE ":" ";" build ${build})
  list(GET build 0 name)
  list(GET build 1 artifact)
  message(STATUS "release: ${name}")
  set(dir ${release}/${name})
  file(REMOVE_RECURSE ${dir})
  release_run(${source} ${CMAKE_COMMAND} --preset release-${name})
  release_run(${source} ${CMAKE_COMMAND} --build --preset release-${name} --parallel ${JOBS})
  if(NOT name STREQUAL "page")
    release_run(${dir} ${CMAKE_CPACK_COMMAND})
  endif()
  file(GLOB made ${dir}/${artifact})
  list(LENGTH made count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "release: ${name} made ${count} files named ${artifact}")
  endif()
  file(COPY ${made} DESTINATION ${dist})
endforeach()

# SHA256SUMS, as sha256sum writes it: sha256sum -c SHA256SUMS checks it.
file(GLOB artifacts RELATIVE ${dist} ${dist}/*)
list(SORT artifacts)
set(sums "")
foreach(artifact IN LISTS artifacts)
  file(SHA256 ${dist}/${artifact} sum)
  string(APPEND sums "${sum}  ${artifact}\n")
endforeach()
file(WRITE ${dist}/SHA256SUMS "${sums}")
message(STATUS "release: in ${dist}:\n${sums}")
