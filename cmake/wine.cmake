# Windows programs of this build run under Wine: a 32-bit prefix inside the build tree, Chinese
# locale so that the ANSI code page is 936 (GBK).
set(WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for tests")
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(WINE_ARCH win64)
else()
  set(WINE_ARCH win32)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEPREFIX=${WINE_PREFIX} WINEARCH=${WINE_ARCH} WINEDEBUG=-all LANG=zh_CN.UTF-8
        LC_ALL=zh_CN.UTF-8 WINEDLLOVERRIDES=mscoree,mshtml= wine)
