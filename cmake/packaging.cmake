# The packages CPack makes: a .deb and a .tar.gz on Linux, a .zip on
# Windows, named after the target (win64 or win32), so that the two Windows
# builds' packages can lie side by side. Two package builds of one commit
# give the same bytes (package-reproducibly.cmake, run before and after
# CPack packs), and SHA256SUMS beside the packages lists them.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_STRIP_FILES ON)
endif()

set(CPACK_PACKAGE_VENDOR "${TOLMARIX_VENDOR}")
set(CPACK_PACKAGE_CONTACT "${TOLMARIX_VENDOR} <maintainers@users.noreply.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "TOLMARIX writes a boot program of your own into the first sector of a
FAT12 or FAT16 volume, or of a disk image, and keeps the volume's BIOS
parameter block, so the volume stays a valid file system and boots the new
code. It is for people who write their own boot code, for hobby operating
systems, teaching or firmware, and put it on floppies, USB sticks and disk
images.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_SOURCE_DATE_EPOCH ${TOLMARIX_SOURCE_DATE_EPOCH})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/package-reproducibly.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/package-reproducibly.cmake)
include(CPack)
