# The platform under the program. The installer is written against the
# Win32 file API: Windows has it, and elsewhere our POSIX stand-in provides
# the same calls. This is the one place that chooses:
#  - TOLMARIX_PLATFORM_DIR, the folder of the platform's headers and console;
#  - tolmarix_platform, what the program links for the file calls: nothing
#    on Windows (kernel32 comes with every program), our stand-in elsewhere.
if(WIN32)
  set(TOLMARIX_PLATFORM_DIR ${CMAKE_SOURCE_DIR}/src/platform/win32)
else()
  set(TOLMARIX_PLATFORM_DIR ${CMAKE_SOURCE_DIR}/src/platform/posix)
endif()

add_library(tolmarix_platform INTERFACE)
if(NOT WIN32)
  add_library(tolmarix_posix STATIC src/platform/posix/win32_api.cpp)
  target_include_directories(tolmarix_posix PUBLIC ${TOLMARIX_PLATFORM_DIR})
  target_link_libraries(tolmarix_posix PRIVATE tolmarix_warnings)
  target_link_libraries(tolmarix_platform INTERFACE tolmarix_posix)
endif()
