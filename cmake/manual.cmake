# The manual page, tolmarix(1), dated with the build's one date, and the
# forms each package carries:
#  - Windows: HTML made by mandoc, which draws the manual's table as an HTML
#    table, so the page needs no image or style sheet beside it. Without
#    mandoc the .zip has no manual, and the configure step says so.
#  - Linux: the page and the changelog compressed, as Debian wants them,
#    without a name or a time in the gzip header.
string(TIMESTAMP TOLMARIX_MANUAL_DATE "%Y-%m-%d" UTC)
configure_file(man/tolmarix.1.in ${CMAKE_CURRENT_BINARY_DIR}/tolmarix.1 @ONLY)
if(WIN32)
  find_program(TOLMARIX_MANDOC mandoc)
  if(TOLMARIX_MANDOC)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/tolmarix.html
      COMMAND ${TOLMARIX_MANDOC} -T html -W warning,stop ${CMAKE_CURRENT_BINARY_DIR}/tolmarix.1 > ${CMAKE_CURRENT_BINARY_DIR}/tolmarix.html
      DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/tolmarix.1
      COMMENT "Formatting the manual page as HTML")
    add_custom_target(manual_html ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/tolmarix.html)
  else()
    message(WARNING "mandoc is not installed (Debian package mandoc): the package will have no HTML manual")
  endif()
else()
  foreach(source ${CMAKE_CURRENT_BINARY_DIR}/tolmarix.1 ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog)
    get_filename_component(name ${source} NAME)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz
      COMMAND gzip -9n -c ${source} > ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz
      DEPENDS ${source})
    list(APPEND compressed_docs ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
  endforeach()
  add_custom_target(compressed_docs ALL DEPENDS ${compressed_docs})
endif()
