# The dist target: the source tarball, tolmarix-VERSION.tar.gz, made by
# dist.cmake from the committed tree of this clone, reproducibly;
# uncommitted changes are not in it.
add_custom_target(dist
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTPUT_DIR=${CMAKE_BINARY_DIR}
    -DNAME=${PROJECT_NAME}-${PROJECT_VERSION} -P ${CMAKE_SOURCE_DIR}/cmake/dist.cmake
  COMMENT "Making the source tarball from the committed tree"
  VERBATIM)
