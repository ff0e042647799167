#include "core/program_folder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/test_support.h"


TEST(ProgramFolder, LastSeparatorStepsOverTrailBytes) {
    std::string strPath = std::string(u8"C:\\pkg\\更新淺.exe");
    const char* pszLast = FindLastSeparator(strPath.c_str());
    ASSERT_NE(nullptr, pszLast);
    EXPECT_EQ(std::string(u8"\\更新淺.exe"), pszLast);
    std::string strFolder = std::string(u8"C:\\更新淺");
    EXPECT_EQ(strFolder.c_str() + 2, FindLastSeparator(strFolder.c_str()));
    EXPECT_EQ(nullptr, FindLastSeparator("name.exe"));
    EXPECT_EQ(nullptr, FindLastSeparator(nullptr));

    char szFolder[MAX_PATH] = {0};
    ASSERT_EQ(1, GetProgramFolder(szFolder, sizeof(szFolder)));
    EXPECT_EQ(mwtest::ProgramFolder(), szFolder);
    char szSmall[4] = {'x', 0};
    EXPECT_EQ(0, GetProgramFolder(szSmall, sizeof(szSmall)));
    EXPECT_STREQ("", szSmall);
}
