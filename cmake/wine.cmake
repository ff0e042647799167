# Windows programs of this build run under Wine: a 32-bit prefix inside the build tree, Chinese
# locale so that the ANSI code page is 936 (GBK).
set(WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for tests")
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(WINE_ARCH win64)
else()
  set(WINE_ARCH win32)
endif()
# The 32-bit build's programs run under Debian's 32-bit Wine through scripts/wine32: the host's own
# where the kernel runs 32-bit code, else in an emulated chroot; it exits 77 where neither can run
# (tests: skipped). The 64-bit build runs under the wine command that scripts/wine-env sets up.
set(MW_WINE wine)
if(WINE_ARCH STREQUAL "win32")
  set(MW_WINE ${CMAKE_SOURCE_DIR}/scripts/wine32)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEPREFIX=${WINE_PREFIX} WINEARCH=${WINE_ARCH} WINEDEBUG=-all LANG=zh_CN.UTF-8
        LC_ALL=zh_CN.UTF-8 WINEDLLOVERRIDES=mscoree,mshtml= ${MW_WINE})

# mw_wine_in_locale(OUT LOCALE): the same Wine environment under another locale (en_US.UTF-8:
# code page 1252; ja_JP.UTF-8: 932), in that locale's own prefix beside the first
# (wineprefix-en_US), which scripts/wine-env's wine_locale_up prepares.
function(mw_wine_in_locale out locale)
  string(REGEX REPLACE "\\..*$" "" tag "${locale}")
  set(${out} env WINEPREFIX=${WINE_PREFIX}-${tag} WINEARCH=${WINE_ARCH} WINEDEBUG=-all LANG=${locale}
      LC_ALL=${locale} WINEDLLOVERRIDES=mscoree,mshtml= ${MW_WINE} PARENT_SCOPE)
endfunction()
