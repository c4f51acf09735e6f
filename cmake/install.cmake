# What each package holds, and where.
#  - Windows: one folder, tolmarix-VERSION-win64 or -win32, with the
#    program, its manual as HTML, the Windows guide as README-Windows.txt,
#    the README and the other guides in docs\, the license and the samples
#    in examples\.
#  - Linux: the program in bin, the manual page in man1, and the README,
#    the guides, the copyright file, the changelog and the samples in the
#    package's documentation folder, Debian's place for a package's
#    examples.
include(GNUInstallDirs)
set(TOLMARIX_EXAMPLE_FILES)
foreach(sample IN LISTS TOLMARIX_SAMPLES)
  list(APPEND TOLMARIX_EXAMPLE_FILES examples/${sample}.asm examples/${sample}.bin)
endforeach()
foreach(sample IN LISTS TOLMARIX_SAMPLE_BUILDS)
  list(APPEND TOLMARIX_EXAMPLE_FILES examples/${sample}.bin)
endforeach()
set(TOLMARIX_DOCS docs/windows.md docs/media.md docs/samples.md docs/design.md)

if(WIN32)
  # What a Windows user opening the .zip reads first: the Windows guide,
  # converted from its Markdown when the build is configured, so the two
  # can't drift, with the line ends Notepad has always taken.
  file(READ docs/windows.md windows_steps)
  # Plain text for a reader in Notepad: without what the guide tells its
  # developers (marked "developers" up to "end"), its other notes, and its
  # Markdown: a heading's marks, bold, a link's target (its text stays),
  # the stars around "(untried)" and backquotes; a code block is indented
  # four spaces instead of fenced.
  string(REGEX REPLACE "<!-- developers -->[^<]*<!-- end -->" "" windows_steps "${windows_steps}")
  string(REGEX REPLACE "<!--[^>]*-->\n" "" windows_steps "${windows_steps}")
  string(REGEX REPLACE "(^|\n)#+ " "\\1" windows_steps "${windows_steps}")
  string(REGEX REPLACE "\\*\\*" "" windows_steps "${windows_steps}")
  string(REGEX REPLACE "\\[([^]]*)\\]\\([^)]*\\)" "\\1" windows_steps "${windows_steps}")
  string(REGEX REPLACE "\\*\\(untried\\)\\*" "(untried)" windows_steps "${windows_steps}")
  set(plain "")
  while(TRUE)
    string(FIND "${windows_steps}" "```" fence)
    if(fence EQUAL -1)
      break()
    endif()
    string(SUBSTRING "${windows_steps}" 0 ${fence} before)
    string(SUBSTRING "${windows_steps}" ${fence} -1 windows_steps)
    string(FIND "${windows_steps}" "\n" line_end)
    math(EXPR line_end "${line_end} + 1")
    string(SUBSTRING "${windows_steps}" ${line_end} -1 windows_steps)
    string(FIND "${windows_steps}" "```" closing)
    string(SUBSTRING "${windows_steps}" 0 ${closing} code)
    math(EXPR closing "${closing} + 3")
    string(SUBSTRING "${windows_steps}" ${closing} -1 windows_steps)
    string(REGEX REPLACE "\n$" "" code "${code}")
    string(REPLACE "\n" "\n    " code "    ${code}")
    string(APPEND plain "${before}${code}")
  endwhile()
  string(APPEND plain "${windows_steps}")
  string(REPLACE "`" "" windows_steps "${plain}")
  string(STRIP "${windows_steps}" windows_steps)
  string(REPLACE "\n" "\r\n" windows_steps "${windows_steps}\n")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/README-Windows.txt "${windows_steps}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS docs/windows.md)
  if(TOLMARIX_MANDOC)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tolmarix.html DESTINATION .)
  endif()
  install(TARGETS tolmarix RUNTIME DESTINATION .)
  install(FILES README.md LICENSE ${CMAKE_CURRENT_BINARY_DIR}/README-Windows.txt DESTINATION .)
  install(FILES ${TOLMARIX_DOCS} DESTINATION docs)
  install(FILES ${TOLMARIX_EXAMPLE_FILES} DESTINATION examples)
else()
  install(TARGETS tolmarix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tolmarix.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${TOLMARIX_DOCS} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
  install(FILES ${TOLMARIX_EXAMPLE_FILES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
endif()
