#include "core/game_folder_check.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"


TEST(CanHoldGame, ExistingAbsoluteFoldersBelowARoot) {
    mwtest::KTempDir dir;
    ASSERT_TRUE(mwtest::MakeFolders(dir / "game"));
    EXPECT_EQ(1, CanHoldGame((dir / "game").c_str()));
    EXPECT_EQ(1, CanHoldGame((dir / "game\\").c_str()));
    EXPECT_EQ(1, CanHoldGame((dir.Path() + "/game").c_str()));
    // "淺" ends in the byte of a backslash: the folder is not cut there.
    std::string strGbk = dir / std::string(u8"更新淺");
    ASSERT_TRUE(mwtest::MakeFolders(strGbk));
    EXPECT_EQ(1, CanHoldGame(strGbk.c_str()));

    EXPECT_EQ(0, CanHoldGame(nullptr));
    EXPECT_EQ(0, CanHoldGame(""));
    EXPECT_EQ(0, CanHoldGame((dir / "missing").c_str()));
    mwtest::WriteFileBytes(dir / "file", "x");
    EXPECT_EQ(0, CanHoldGame((dir / "file").c_str()));
}

TEST(CanHoldGame, RootsRelativeAndDevicePathsAreRefused) {
    for (const char* pszPath : {"C:\\", "C:", "c:/", "C:\\\\", "C:\\windows\\..", "C:windows", "windows", "\\windows",
                                "\\\\?\\C:\\windows", "\\\\.\\C:\\windows", "\\\\server", "\\\\server\\share",
                                "\\\\server\\share\\", "\\\\server\\share\\game"}) {
        EXPECT_EQ(0, CanHoldGame(pszPath)) << pszPath;
    }
    EXPECT_EQ(1, CanHoldGame("C:\\windows"));
}
