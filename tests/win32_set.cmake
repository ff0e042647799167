# The 32-bit set: what players get, the 32-bit programs and libraries of this build (the files
# copied to dist/win32), run under the 32-bit Wine (where the kernel runs no 32-bit code, through
# scripts/wine32: emulated, 2-5 times slower, so a chosen part of the suite). `ctest -L win32` runs
# it; scripts/test does. A test exits 77, and counts as skipped, where no 32-bit Wine can run.
if(DIST_DIR)
  # The files tested are the files shipped.
  set(compare "set -e")
  foreach(target IN ITEMS Mendwright mendwright-cli engine cobblepak mendwright-pack)
    string(APPEND compare "; cmp $<TARGET_FILE:${target}> ${DIST_DIR}/$<TARGET_FILE_NAME:${target}>")
  endforeach()
  add_test(NAME win32_shipped_files COMMAND bash -c "${compare}")
  # Without debug information, and Mendwright.exe with Cobblepak.dll within the size goal.
  add_test(NAME shipped_sizes COMMAND ${CMAKE_SOURCE_DIR}/scripts/sizes ${DIST_DIR})
  set_tests_properties(win32_shipped_files shipped_sizes PROPERTIES LABELS win32)
endif()

# program | GoogleTest filter: console installs, refusals and a rolled-back transaction; versions
# checked and a pack merged through the installer's own load of Cobblepak.dll, or put back; the
# planted-library and missing-engine cases (delay loading); the engine's exports; the game folder
# found in either registry view and in the folders 64-bit Windows gives 32-bit programs; the
# semaphores; Cobblepak through its export; the tray data; the dialog's start-up, an installation
# with Run Game, the tray icon and menu. They run in a 64-bit prefix, where the 32-bit programs
# meet what they meet on 64-bit Windows (label wow64); the lean part after it again in a 32-bit
# prefix (label win32), for players on 32-bit Windows.
set(MW_WOW64_SET
    "cli_tests|CliTest.InstallPrintsEveryLine*:CliTest.PackageMissingAFile*:CliTest.WrongGameFolder*:CliTest.RunningGameOrUpdate*:CliTest.UsageErrors*:CliTest.APackageThatDoesNotFit*:CliPlantedTest.*"
    "install_tests|InstallTransactionTest.SuccessLeaves*:InstallTransactionTest.RefusalsTouchNothing*:InstallTransactionTest.FailureAtAnyFile*:InstallPackTest.MergedPackAndVersions*"
    "core_tests|GameFolderTest.*:*Semaphore*"
    "xml_tests|*"
    "packcomb_library_test|*"
    "app_tests|TrayIconTest.*:StateBalloonTest.*:DialogBaseTest.*:ReadableFontTest.*"
    "gui_tests|GuiTest.StartUpShows*:GuiTest.FullInstallationThenRunGame*:GuiTest.MinimiseHidesIntoTheTray*:GuiTest.TrayMenuOpens*:GuiTest.NoPlantedLibrary*:GuiTest.MissingEngine*")
set(MW_WIN32_SET
    "cli_tests|CliTest.InstallPrintsEveryLine*:CliTest.RunningGameOrUpdate*:CliPlantedTest.*"
    "install_tests|InstallPackTest.MergedPackAndVersions*"
    "core_tests|GameFolderTest.Registry*:*Semaphore*"
    "app_tests|DialogBaseTest.*"
    "gui_tests|GuiTest.StartUpShows*:GuiTest.FullInstallationThenRunGame*")
set(wow64_wine env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix64 WINEARCH=win64 WINEDEBUG=-all
    LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 WINEDLLOVERRIDES=mscoree,mshtml= ${MW_WINE})
foreach(kind IN ITEMS wow64 win32)
  string(TOUPPER "${kind}" upper)
  foreach(entry IN LISTS MW_${upper}_SET)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 program)
    list(GET parts 1 filter)
    if(kind STREQUAL "wow64")
      add_test(NAME ${kind}_${program}
               COMMAND ${wow64_wine} $<TARGET_FILE:${program}> --gtest_brief=1 --gtest_filter=${filter})
    else()
      add_test(NAME ${kind}_${program} COMMAND ${program} --gtest_brief=1 --gtest_filter=${filter})
    endif()
    set_tests_properties(${kind}_${program} PROPERTIES LABELS ${kind} SKIP_RETURN_CODE 77 TIMEOUT 900)
  endforeach()
  set_tests_properties(${kind}_gui_tests PROPERTIES RESOURCE_LOCK wine_machine_state)
endforeach()
# The full-disk install (tests/full_disk_test.sh) in the 64-bit prefix too.
add_test(NAME wow64_full_disk_install COMMAND bash ${CMAKE_SOURCE_DIR}/tests/full_disk_test.sh
                                              $<TARGET_FILE:mendwright-cli> ${wow64_wine})
set_tests_properties(wow64_full_disk_install PROPERTIES LABELS wow64 SKIP_RETURN_CODE 77)
