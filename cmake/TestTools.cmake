# SPDX-License-Identifier: GPL-3.0-or-later
# Whether the tests (GoogleTest) and the benchmarks (Google Benchmark) are built. Each option is
# AUTO, ON or OFF: AUTO builds them when their package is installed and leaves them out with a
# note otherwise, so the program builds on a machine that has only what running it needs
# (scripts/run.sh); ON requires the package (scripts/test.sh), OFF leaves them out.
# After this file MORPHANE_BUILD_TESTS and MORPHANE_BUILD_BENCH are plain ON or OFF.
set(MORPHANE_BUILD_TESTS AUTO CACHE STRING "Build the tests: AUTO (when GoogleTest is installed), ON or OFF")
set(MORPHANE_BUILD_BENCH AUTO CACHE STRING "Build the benchmarks: AUTO (when Google Benchmark is installed), ON or OFF")
set_property(CACHE MORPHANE_BUILD_TESTS PROPERTY STRINGS AUTO ON OFF)
set_property(CACHE MORPHANE_BUILD_BENCH PROPERTY STRINGS AUTO ON OFF)

function(morphane_resolve_option option package what)
  if(${option} STREQUAL "AUTO")
    find_package(${package} QUIET)
    if(${package}_FOUND)
      set(${option} ON PARENT_SCOPE)
    else()
      message(STATUS "${what} left out: ${package} is not installed (scripts/install-deps.sh --test)")
      set(${option} OFF PARENT_SCOPE)
    endif()
  elseif(${option})
    find_package(${package} REQUIRED)
    set(${option} ON PARENT_SCOPE)
  else()
    set(${option} OFF PARENT_SCOPE)
  endif()
endfunction()

morphane_resolve_option(MORPHANE_BUILD_TESTS GTest "Tests")
if(MORPHANE_BUILD_TESTS)
  morphane_resolve_option(MORPHANE_BUILD_BENCH benchmark "Benchmarks")
else()
  set(MORPHANE_BUILD_BENCH OFF)
endif()
