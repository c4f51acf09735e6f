# How the program is linked and hardened for release, per toolchain:
#  - mingw-w64: statically, so no MinGW runtime DLL has to travel to a bare
#    Windows machine or into Wine; with only the code the program uses; and
#    with no link time in the PE header. The linker strips, since strip
#    would stamp the header with its own time.
#  - GCC and Clang for Linux: Debian's hardening (dpkg-buildflags with
#    hardening=+all) for every Release build. Both take the same options;
#    each linker option is given only if the linker takes it.
if(MINGW)
  add_link_options(-static LINKER:--no-insert-timestamp LINKER:--gc-sections "$<$<CONFIG:Release>:-s>")
  add_compile_options(-ffunction-sections -fdata-sections)
elseif(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  include(CheckLinkerFlag)
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_compile_options("$<$<CONFIG:Release>:-fstack-protector-strong;-fstack-clash-protection>"
    "$<$<CONFIG:Release>:-Wformat;-Werror=format-security;-Wdate-time;-D_FORTIFY_SOURCE=2>")
  # The program needs the C library only; drop whatever else the compiler
  # driver links by default.
  set(linker_options LINKER:--as-needed)
  set(release_linker_options LINKER:-z,relro LINKER:-z,now)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$")
    add_compile_options("$<$<CONFIG:Release>:-fcf-protection>")
    # All our code carries the control-flow marks, but Debian 12's C
    # start-up files are not marked, so the linker would drop the program's
    # claim to them; make it. No released Linux enforces indirect-branch
    # tracking in user space, and shadow stacks ask nothing of the start-up
    # code.
    list(APPEND release_linker_options LINKER:-z,ibt LINKER:-z,shstk)
  endif()
  foreach(option IN LISTS linker_options release_linker_options)
    string(MAKE_C_IDENTIFIER "TOLMARIX_LINKER_TAKES_${option}" takes)
    check_linker_flag(CXX "${option}" ${takes})
    if(${takes} AND option IN_LIST release_linker_options)
      add_link_options("$<$<CONFIG:Release>:${option}>")
    elseif(${takes})
      add_link_options(${option})
    endif()
  endforeach()
endif()
