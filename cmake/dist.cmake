# Makes the source tarball NAME.tar.gz in OUTPUT_DIR from the committed tree
# of the clone in SOURCE_DIR, and lists it in SHA256SUMS there. Run by the
# dist target:
#
#   cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DNAME=tolmarix-VERSION -P dist.cmake
#
# git archive dates every entry with the commit's time and writes that time
# into cmake/source-date-epoch, so builds from the tarball carry the same
# date as builds from the clone; gzip -n keeps its own time out.
include(${CMAKE_CURRENT_LIST_DIR}/sha256sums.cmake)
set(tarball ${OUTPUT_DIR}/${NAME}.tar.gz)
execute_process(COMMAND git -C ${SOURCE_DIR} archive --format=tar --prefix=${NAME}/ HEAD
  COMMAND gzip -9n
  OUTPUT_FILE ${tarball} RESULTS_VARIABLE results)
if(NOT results MATCHES "^0;0$")
  file(REMOVE ${tarball})
  message(FATAL_ERROR "The source tarball is made from a git clone, with git and gzip installed; ${SOURCE_DIR} gave ${results}")
endif()
tolmarix_add_to_sha256sums(${tarball} ${OUTPUT_DIR})
message(STATUS "Source tarball: ${tarball}")
