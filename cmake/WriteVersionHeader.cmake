# Writes the header that the version resource and its test include: the project's version
# and the commit the program is built from. Run at every build, so that a new commit shows
# without configuring again; the header is rewritten only when its text changes, so an
# unchanged commit rebuilds nothing.
#   cmake -DVERSION=x.y.z -DCOMMIT=<commit or empty> -DSOURCE_DIR=<checkout> -DOUTPUT=<header>
#         -P WriteVersionHeader.cmake
# Without OUTPUT it only prints the commit (for scripts/reproducible-build.sh).
# An empty COMMIT asks git: the first 12 digits of HEAD, "-dirty" when tracked files differ
# from it, "unknown" when SOURCE_DIR is not the top of a git checkout (a source archive
# unpacked inside some other repository must not take that one's commit).
if(NOT COMMIT)
  set(COMMIT unknown)
  find_program(GIT_PROGRAM git)
  if(GIT_PROGRAM)
    # A checkout owned by another user (a CI runner's) is refused by git's ownership check;
    # reading the commit runs nothing of the repository's.
    set(git ${GIT_PROGRAM} -c safe.directory=* -C ${SOURCE_DIR})
    execute_process(COMMAND ${git} rev-parse --show-toplevel OUTPUT_VARIABLE top
                    RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT failed)
      file(REAL_PATH "${top}" top)
      file(REAL_PATH "${SOURCE_DIR}" source)
    endif()
    if(NOT failed AND top STREQUAL source)
      execute_process(COMMAND ${git} rev-parse --short=12 HEAD OUTPUT_VARIABLE head
                      RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(NOT failed)
        set(COMMIT ${head})
        # --no-optional-locks: a build only reads the checkout, it does not refresh its index.
        execute_process(COMMAND ${git} --no-optional-locks status --porcelain --untracked-files=no
                        OUTPUT_VARIABLE changes ERROR_QUIET)
        if(changes)
          string(APPEND COMMIT -dirty)
        endif()
      endif()
    endif()
  endif()
endif()

if(NOT COMMIT MATCHES "^[A-Za-z0-9._-]+$")
  message(FATAL_ERROR "ZEB_COMMIT may hold letters, digits, '.', '_' and '-' only, not ${COMMIT}")
endif()
if(NOT OUTPUT)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo ${COMMIT})
  return()
endif()

string(REPLACE "." ";" parts "${VERSION}")
list(LENGTH parts count)
if(NOT count EQUAL 3)
  message(FATAL_ERROR "the version must be x.y.z, not ${VERSION}")
endif()
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)

set(text "// Written by cmake/WriteVersionHeader.cmake at each build.
#ifndef ZEB_VERSION_H
#define ZEB_VERSION_H
#define ZEB_VERSION_MAJOR ${major}
#define ZEB_VERSION_MINOR ${minor}
#define ZEB_VERSION_PATCH ${patch}
#define ZEB_VERSION_TEXT \"${VERSION}\"
#define ZEB_COMMIT \"${COMMIT}\"
#define ZEB_PRODUCT_VERSION_TEXT \"${VERSION} (${COMMIT})\"
#endif
")
file(WRITE ${OUTPUT}.new "${text}")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
