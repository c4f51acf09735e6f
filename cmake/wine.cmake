# Where a Windows build's tests run: under Wine, in a private prefix inside
# the build tree, so the user's own is never touched. The emulator itself
# carries the prefix, because test discovery runs the test programs too.
# Sets TOLMARIX_WINE_ENV, TOLMARIX_WINE_LOADER and TOLMARIX_WINEPREFIX,
# which the tests use; a
# machine without Wine leaves them unset and the Windows tests can't run.
if(BUILD_TESTING AND CMAKE_CROSSCOMPILING AND WIN32 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(TOLMARIX_WINE wine)
  if(TOLMARIX_WINE)
    set(TOLMARIX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    # No Mono or Gecko install prompts, and no debug chatter on the console;
    # and a UTF-8 locale whatever the caller's, since Wine takes file names
    # in the caller's locale. Wine itself runs without TMPDIR, with which
    # Debian 13's Wine 10 aborts.
    set(TOLMARIX_WINE_ENV WINEPREFIX=${TOLMARIX_WINEPREFIX} WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml="
      LC_ALL=C.UTF-8)
    # Debian's wine starts every program through the 32-bit loader once
    # wine32 is installed, and that fails on a kernel that runs no 32-bit
    # program (some virtual machines'); a 64-bit program needs only the
    # 64-bit loader, which Debian's wine runs itself when wine32 is not
    # there, with WINELOADER telling Wine to start new processes with it.
    set(TOLMARIX_WINE_LOADER ${TOLMARIX_WINE})
    if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND EXISTS /usr/lib/wine/wine64)
      set(TOLMARIX_WINE_LOADER /usr/lib/wine/wine64)
      list(APPEND TOLMARIX_WINE_ENV WINELOADER=${TOLMARIX_WINE_LOADER})
    endif()
    set(CMAKE_CROSSCOMPILING_EMULATOR env -u TMPDIR ${TOLMARIX_WINE_ENV} ${TOLMARIX_WINE_LOADER})
    # Debian's wine starts 32-bit programs only with wine32:i386, whose
    # loader this is; without it every test of a 32-bit build fails.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND NOT EXISTS /usr/lib/wine/wine)
      message(WARNING "32-bit Wine is not installed (Debian package wine32:i386, after "
        "dpkg --add-architecture i386): the tests of this build can't run")
    endif()
  endif()
endif()
