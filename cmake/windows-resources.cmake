# What a Windows program carries besides its code: the version Explorer
# shows, and the manifest that makes the program's code page UTF-8, runs it
# as the invoker and names the Windows versions it supports. Windows may
# refuse to start a program whose manifest names another architecture than
# its own, so the architecture follows the target processor.
if(NOT WIN32)
  return()
endif()
enable_language(RC)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(TOLMARIX_MANIFEST_ARCHITECTURE amd64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$")
  set(TOLMARIX_MANIFEST_ARCHITECTURE x86)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|ARM64|arm64)$")
  set(TOLMARIX_MANIFEST_ARCHITECTURE arm64)
else()
  message(FATAL_ERROR "No manifest architecture is known for ${CMAKE_SYSTEM_PROCESSOR}")
endif()
set(TOLMARIX_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/tolmarix.manifest)
configure_file(src/platform/win32/tolmarix.manifest.in ${TOLMARIX_MANIFEST} @ONLY)
configure_file(src/platform/win32/tolmarix.rc.in ${CMAKE_CURRENT_BINARY_DIR}/tolmarix.rc @ONLY)
target_sources(tolmarix PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/tolmarix.rc)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/tolmarix.rc PROPERTIES OBJECT_DEPENDS ${TOLMARIX_MANIFEST})
