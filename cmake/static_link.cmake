# SPDX-License-Identifier: MIT
# A statically linked program has nothing to load or resolve at start, which
# is most of the cost of a short run, and runs where no C++ runtime is
# installed. It is made static only where that works: each way of linking is
# tried at configure time, and the one chosen is said in a status line.

include(CheckCXXSourceCompiles)

# Whether this build's flags ask for a sanitizer, whose run-time needs the
# dynamic loader.
function(sentgen_sanitized out)
  set(flags "${CMAKE_CXX_FLAGS} ${CMAKE_EXE_LINKER_FLAGS}")
  foreach(config IN LISTS CMAKE_BUILD_TYPE CMAKE_CONFIGURATION_TYPES)
    string(TOUPPER "${config}" config)
    string(APPEND flags " ${CMAKE_CXX_FLAGS_${config}} ${CMAKE_EXE_LINKER_FLAGS_${config}}")
  endforeach()
  if(flags MATCHES "-fsanitize=" OR SENTGEN_FUZZ)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# Whether a C++ program links with `option`.
function(sentgen_links_with option out)
  string(MAKE_C_IDENTIFIER "SENTGEN_LINKS_WITH${option}" result)
  set(CMAKE_REQUIRED_LINK_OPTIONS ${option})
  set(CMAKE_REQUIRED_QUIET ON)
  check_cxx_source_compiles("
    #include <string>
    int main(int argc, char**) { return static_cast<int>(std::string(argc, 'a').size()); }"
    ${result})
  set(${out} ${${result}} PARENT_SCOPE)
endfunction()

# Links `target` statically if it can; sets SENTGEN_LINKED_STATICALLY.
function(sentgen_link_statically target)
  set(SENTGEN_LINKED_STATICALLY FALSE PARENT_SCOPE)
  sentgen_sanitized(sanitized)
  if(APPLE)
    message(STATUS "${target}: linked dynamically (Apple platforms have no static link)")
    return()
  elseif(sanitized)
    message(STATUS "${target}: linked dynamically (the sanitizers need the dynamic loader)")
    return()
  endif()
  set(candidates -static-pie -static)
  if(WIN32)
    set(candidates -static)  # no DLLs of the MinGW run-time needed beside it
  endif()
  foreach(option IN LISTS candidates)
    sentgen_links_with(${option} links)
    if(links)
      target_link_options(${target} PRIVATE ${option})
      set(SENTGEN_LINKED_STATICALLY TRUE PARENT_SCOPE)
      message(STATUS "${target}: linked statically (${option})")
      return()
    endif()
  endforeach()
  message(STATUS "${target}: linked dynamically (this toolchain cannot link a C++ program statically)")
endfunction()
