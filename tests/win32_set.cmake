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
  set_tests_properties(win32_shipped_files PROPERTIES LABELS win32)
endif()

# program | GoogleTest filter: console installs, refusals and a rolled-back transaction; versions
# checked and a pack merged through the installer's own load of Cobblepak.dll, or put back; the
# planted-library and missing-engine cases (delay loading); the engine's exports; the App Paths
# folder in either registry view; the semaphores; Cobblepak through its export; the tray data; the
# dialog's start-up, an installation with Run Game, the tray icon and menu.
set(MW_WIN32_SET
    "cli_tests|CliTest.InstallPrintsEveryLine*:CliTest.PackageMissingAFile*:CliTest.WrongGameFolder*:CliTest.RunningGameOrUpdate*:CliTest.UsageErrors*:CliTest.APackageThatDoesNotFit*:CliPlantedTest.*"
    "install_tests|InstallTransactionTest.SuccessLeaves*:InstallTransactionTest.RefusalsTouchNothing*:InstallTransactionTest.FailureAtAnyFile*:InstallPackTest.MergedPackAndVersions*"
    "core_tests|GameFolderTest.Registry*:*Semaphore*"
    "xml_tests|*"
    "packcomb_library_test|*"
    "app_tests|TrayIconTest.*:StateBalloonTest.*:DialogBaseTest.*:ReadableFontTest.*"
    "gui_tests|GuiTest.StartUpShows*:GuiTest.FullInstallationThenRunGame*:GuiTest.MinimiseHidesIntoTheTray*:GuiTest.TrayMenuOpens*:GuiTest.NoPlantedLibrary*:GuiTest.MissingEngine*")
foreach(entry IN LISTS MW_WIN32_SET)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 program)
  list(GET parts 1 filter)
  add_test(NAME win32_${program} COMMAND ${program} --gtest_brief=1 --gtest_filter=${filter})
  set_tests_properties(win32_${program} PROPERTIES LABELS win32 SKIP_RETURN_CODE 77 TIMEOUT 900)
endforeach()
set_tests_properties(win32_gui_tests PROPERTIES RESOURCE_LOCK wine_machine_state)
