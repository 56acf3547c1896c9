# SPDX-License-Identifier: MIT
# Run by cpack once it has made a package (CPACK_POST_BUILD_SCRIPTS),
# so that the same commit gives the same bytes whoever builds it, wherever
# and whenever. cpack already dates every member at SOURCE_DATE_EPOCH and
# leaves the time out of the gzip header; what it keeps of the build is put
# right here:
# - a .tar.gz is made again from the same staged folder with GNU tar's own
#   settings: members sorted by name, owned by 0:0 without names, not
#   writable by group or others whatever the umask (cpack's tar records the
#   builder's user and the order in which the folder lists its files);
# - a .zip goes through Debian's strip-nondeterminism, which sorts its
#   members, dates them at SOURCE_DATE_EPOCH (cpack's zip has local time in
#   the DOS fields) and clears the user and group fields;
# - a .deb goes through it too: cpack dates its members at SOURCE_DATE_EPOCH
#   and makes them owned by 0:0, but gives them the modes the umask gave the
#   files it wrote them from.
# A tool missing is an error when SOURCE_DATE_EPOCH asks for a
# reproducible build, and a warning otherwise.
cmake_minimum_required(VERSION 3.20)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
  set(missing FATAL_ERROR)
else()
  set(missing WARNING)
endif()

# Runs execute_process with these arguments; a failure of any of its
# commands stops cpack.
function(reproducible_run)
  execute_process(${ARGN} RESULTS_VARIABLE statuses)
  list(REMOVE_ITEM statuses 0)
  if(statuses)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command}: ${statuses}")
  endif()
endfunction()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.tar\\.gz$")
    find_program(SENTGEN_TAR NAMES gtar tar)
    execute_process(COMMAND ${SENTGEN_TAR} --version OUTPUT_VARIABLE version ERROR_QUIET)
    if(NOT version MATCHES "GNU tar")
      message(${missing} "${package}: GNU tar is needed to make it reproducible")
      continue()
    endif()
    set(options --sort=name --format=gnu --owner=0 --group=0 --numeric-owner --mode=go-w)
    if(epoch)
      list(APPEND options --mtime=@${epoch})
    endif()
    get_filename_component(folder ${CPACK_TEMPORARY_DIRECTORY} NAME)
    reproducible_run(COMMAND ${SENTGEN_TAR} -C ${CPACK_TOPLEVEL_DIRECTORY} ${options} -cf - ${folder}
      COMMAND gzip -9n OUTPUT_FILE ${package})
  elseif(package MATCHES "\\.(zip|deb)$")
    find_program(SENTGEN_STRIP_NONDETERMINISM strip-nondeterminism)
    if(NOT SENTGEN_STRIP_NONDETERMINISM)
      message(${missing} "${package}: strip-nondeterminism is needed to make it reproducible "
        "(apt-get install strip-nondeterminism)")
      continue()
    endif()
    set(options --type ${CMAKE_MATCH_1})
    if(CMAKE_MATCH_1 STREQUAL "deb")
      set(options --type ar --normalizers=+ar)  # a Debian package is an ar archive
    endif()
    if(epoch)
      list(APPEND options --timestamp ${epoch})
    endif()
    reproducible_run(COMMAND ${SENTGEN_STRIP_NONDETERMINISM} ${options} ${package})
  endif()
endforeach()
