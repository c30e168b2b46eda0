# SPDX-License-Identifier: GPL-3.0-or-later
# Writes morphane_version.h with the build's version: the project version and, in a git
# checkout, the commit it was built from ("2.0 (3d005ab4c1)", "-dirty" with local changes).
# Run at every build (cmake -P) so the commit is never stale; the header is rewritten only when
# its text changes, so an unchanged commit rebuilds nothing.
#   cmake -DVERSION=2.0 -DSOURCE_DIR=... -DOUTPUT=.../morphane_version.h -P BuildVersion.cmake
set(text "${VERSION}")
find_program(GIT git)
if(GIT AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" describe --always --dirty --abbrev=10
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
                  RESULT_VARIABLE failed)
  if(NOT failed AND commit)
    set(text "${VERSION} (${commit})")
  endif()
endif()
set(content "// Written by cmake/BuildVersion.cmake at build time.\n#pragma once\n#define MORPHANE_BUILD_VERSION \"${text}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL content)
  file(WRITE "${OUTPUT}" "${content}")
endif()
