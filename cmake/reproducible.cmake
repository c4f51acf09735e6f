# Builds of the same sources give the same bytes, wherever the tree is and
# whenever it is built: no build paths in the objects, and one date,
# TOLMARIX_SOURCE_DATE_EPOCH, for everything the packages and the manual
# carry. It is the last commit's, unless SOURCE_DATE_EPOCH says otherwise. A
# clone asks git; a tree from git archive or the source tarball has the date
# written into cmake/source-date-epoch.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)
endif()
file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/source-date-epoch recorded_epoch LIMIT_COUNT 1)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(TOLMARIX_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
elseif(recorded_epoch MATCHES "^[0-9]+$")
  set(TOLMARIX_SOURCE_DATE_EPOCH ${recorded_epoch})
else()
  find_program(TOLMARIX_GIT git)
  if(TOLMARIX_GIT)
    execute_process(COMMAND ${TOLMARIX_GIT} -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
      OUTPUT_VARIABLE TOLMARIX_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT TOLMARIX_SOURCE_DATE_EPOCH)
    # Any fixed date keeps two builds alike, but it is not the right one.
    set(TOLMARIX_SOURCE_DATE_EPOCH 0)
    if(EXISTS ${CMAKE_SOURCE_DIR}/.git AND NOT TOLMARIX_GIT)
      set(why "it is a git clone, but git is not installed (Debian package git) to read its date")
    else()
      set(why "it is neither a git clone nor made by git archive")
    endif()
    if(NOT TOLMARIX_WARNED_NO_DATE)
      message(WARNING "This tree records no date: ${why}. Packages and the manual will carry 1970-01-01, "
        "and the .zip's entries 1980-01-01, the earliest date a .zip can hold. Set SOURCE_DATE_EPOCH to "
        "the commit's time (seconds since 1970) to give them the right one.")
      set(TOLMARIX_WARNED_NO_DATE ON CACHE INTERNAL "")
    endif()
  endif()
endif()
# string(TIMESTAMP) reads SOURCE_DATE_EPOCH from the environment, so the
# rest of the configure step is given ours.
set(ENV{SOURCE_DATE_EPOCH} ${TOLMARIX_SOURCE_DATE_EPOCH})
