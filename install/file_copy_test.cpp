#include "install/file_copy.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/recording_shell.h"
#include "core/win_text.h"
#include "tests/test_support.h"

using mwtest::FileExists;
using mwtest::KRecordingShell;
using mwtest::KTempDir;
using mwtest::MakeFolders;
using mwtest::ReadFileBytes;
using mwtest::WriteFileBytes;

namespace {

class FileCopyTest : public ::testing::Test {
protected:
    FileCopyTest() : m_strGame(m_Dir / "game"), m_strPackage(m_Dir / "package") {
        MakeFolders(m_strGame);
        MakeFolders(m_strPackage);
    }
    int Copy(const std::string& strFilePath, const std::string& strFileName) {
        return CopyPackageFile(&m_Shell, m_strGame.c_str(), m_strPackage.c_str(), strFilePath.c_str(),
                               strFileName.c_str());
    }
    // Every entry below the temporary folder, for checks that nothing was written elsewhere.
    std::vector<std::string> Everything(const std::string& strFolder) {
        std::vector<std::string> entries;
        WIN32_FIND_DATAW findData;
        HANDLE hFind = FindFirstFileU8((strFolder + "\\*").c_str(), &findData);
        if (hFind == INVALID_HANDLE_VALUE)
            return entries;
        do {
            std::string strName = WideToUtf8(findData.cFileName);
            if (strName == "." || strName == "..")
                continue;
            entries.push_back(strFolder + "\\" + strName);
            if (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                std::vector<std::string> inner = Everything(strFolder + "\\" + strName);
                entries.insert(entries.end(), inner.begin(), inner.end());
            }
        } while (FindNextFileW(hFind, &findData));
        FindClose(hFind);
        return entries;
    }

    KTempDir m_Dir;
    std::string m_strGame;
    std::string m_strPackage;
    KRecordingShell m_Shell;
};

TEST_F(FileCopyTest, RootFormsCopyIntoTheGameFolderItself) {
    const char* const aszRoots[] = {"\\", "/", ""};
    for (const char* pszRoot : aszRoots) {
        SCOPED_TRACE(pszRoot);
        KRecordingShell shell;
        std::string strSource = m_strPackage + "\\" + pszRoot + "root.txt";
        ASSERT_TRUE(WriteFileBytes(strSource, std::string("content of ") + pszRoot));
        ASSERT_EQ(1, CopyPackageFile(&shell, m_strGame.c_str(), m_strPackage.c_str(), pszRoot, "root.txt"));
        EXPECT_EQ(std::string("content of ") + pszRoot, ReadFileBytes(m_strGame + "\\root.txt"));
        std::vector<std::string> expected = {std::string(u8"·正在复制文件：root.txt"), m_strGame + "\\" + std::string(u8" 完成！")};
        EXPECT_EQ(expected, shell.Lines());
        std::vector<std::string> calls = {"AddMessage", "AddMessage", "AppendMessage", "StepProgress"};
        EXPECT_EQ(calls, shell.Calls());
    }
}

TEST_F(FileCopyTest, NestedFoldersAreCreated) {
    ASSERT_TRUE(MakeFolders(m_strPackage + "\\interface\\skin\\big"));
    ASSERT_TRUE(WriteFileBytes(m_strPackage + "\\interface\\skin\\big\\ui.lua", "ui"));
    ASSERT_EQ(1, Copy("interface\\skin\\big\\", "ui.lua"));
    EXPECT_EQ("ui", ReadFileBytes(m_strGame + "\\interface\\skin\\big\\ui.lua"));
    EXPECT_EQ(m_strGame + "\\interface\\skin\\big\\" + std::string(u8" 完成！"), m_Shell.Lines().at(1));
}

TEST_F(FileCopyTest, ProtectedDestinationIsOverwritten) {
    ASSERT_TRUE(WriteFileBytes(m_strPackage + "\\a.dll", "new"));
    ASSERT_TRUE(WriteFileBytes(m_strGame + "\\a.dll", "old and longer"));
    ASSERT_TRUE(SetFileAttributesA((m_strGame + "\\a.dll").c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(1, Copy("\\", "a.dll"));
    EXPECT_EQ("new", ReadFileBytes(m_strGame + "\\a.dll"));
}

TEST_F(FileCopyTest, FolderAtTheDestinationGives2073) {
    // A folder standing where the destination file belongs cannot be overwritten: access denied,
    // said as what it is.
    ASSERT_TRUE(WriteFileBytes(m_strPackage + "\\a.dll", "new"));
    ASSERT_TRUE(MakeFolders(m_strGame + "\\a.dll"));
    EXPECT_EQ(0, Copy("", "a.dll"));
    std::vector<std::string> lines = m_Shell.Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(std::string(u8"·复制a.dll时出错！（错误：目标位置已有同名文件夹）"), lines[2]);
    EXPECT_EQ(1, m_Shell.Count("StepProgress"));
}

TEST_F(FileCopyTest, DestinationInUseGives2020) {
    ASSERT_TRUE(WriteFileBytes(m_strPackage + "\\game.dll", "new"));
    ASSERT_TRUE(WriteFileBytes(m_strGame + "\\game.dll", "old"));
    // Another process holds the file open without sharing, like the running game.
    mwtest::KHelperProcess held("hold.exe", "file \"" + m_strGame + "\\game.dll\"");
    ASSERT_TRUE(held.Held());
    EXPECT_EQ(0, Copy("/", "game.dll"));
    std::vector<std::string> expected = {std::string(u8"·正在复制文件：game.dll"), m_strGame + "\\",
                                         std::string(u8"·复制/game.dll时出错！（错误：文件正在使用）")};
    EXPECT_EQ(expected, m_Shell.Lines());
    EXPECT_EQ(1, m_Shell.Count("StepProgress"));
}

TEST_F(FileCopyTest, MissingSourceGivesTheTwoLineMessage) {
    ASSERT_TRUE(MakeFolders(m_strPackage + "\\data"));
    EXPECT_EQ(0, Copy("data\\", "gone.pak"));
    std::vector<std::string> lines = m_Shell.Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("\n" + m_strPackage + "\\data\\gone.pak,\n" + m_strGame + "\\data\\gone.pak", lines[2]);
    EXPECT_EQ(1, m_Shell.Count("StepProgress"));
    // The destination folder was made before the copy was tried.
    EXPECT_TRUE(FileExists(m_strGame + "\\data"));
}

TEST_F(FileCopyTest, PlainFileWhereAFolderIsNeededGives2016) {
    ASSERT_TRUE(WriteFileBytes(m_strPackage + "\\x.lua", "x"));
    ASSERT_TRUE(WriteFileBytes(m_strGame + "\\interface", "a file, not a folder"));
    EXPECT_EQ(0, Copy("interface\\sub\\", "x.lua"));
    std::vector<std::string> lines = m_Shell.Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(std::string(u8"·复制 ") + m_strGame + "\\interface\\sub\\x.lua" + std::string(u8" 时出错！（错误：创建子目录失败）"),
              lines[2]);
    EXPECT_EQ(0, m_Shell.Count("StepProgress"));
}

TEST_F(FileCopyTest, SeventeenLevelsBelowTheDriveGiveError3) {
    int nGameLevels = 0;
    for (char ch : m_strGame)
        nGameLevels += ch == '\\';
    // Folder levels below the drive: those of the game folder and those of FilePath.
    std::string strFilePath;
    for (int nLevel = nGameLevels; nLevel < 17; ++nLevel)
        strFilePath += "d\\";
    ASSERT_TRUE(MakeFolders(m_strPackage + "\\" + strFilePath.substr(0, strFilePath.size() - 1)));
    ASSERT_TRUE(WriteFileBytes(m_strPackage + "\\" + strFilePath + "deep.txt", "deep"));

    EXPECT_EQ(0, Copy(strFilePath, "deep.txt"));
    EXPECT_EQ(std::string(u8"·复制") + strFilePath + std::string(u8"deep.txt时出错！（错误号：3）"), m_Shell.Lines().at(2));
    // Sixteen levels exist, the seventeenth was not made.
    std::string strSixteen = m_strGame + "\\" + strFilePath.substr(0, strFilePath.size() - 2);
    EXPECT_TRUE(FileExists(strSixteen));
    EXPECT_FALSE(FileExists(strSixteen + "\\d"));
}

TEST_F(FileCopyTest, CreateFolderChainRules) {
    EXPECT_EQ(0, CreateFolderChain("nobackslash"));
    EXPECT_EQ(0, CreateFolderChain("\\\\server\\share\\x\\"));
    EXPECT_EQ(0, CreateFolderChain(nullptr));
    // A last part without a trailing backslash is not made.
    EXPECT_EQ(1, CreateFolderChain((m_strGame + "\\one\\two").c_str()));
    EXPECT_TRUE(FileExists(m_strGame + "\\one"));
    EXPECT_FALSE(FileExists(m_strGame + "\\one\\two"));
    // Characters whose GBK trail byte has the value of a backslash are no separators.
    std::string strName = std::string(u8"乗俓");
    ASSERT_EQ('\\', mwtest::Gbk(strName)[1]);
    std::string strKanji = m_Dir / "kanji";
    ASSERT_TRUE(MakeFolders(strKanji));
    EXPECT_EQ(1, CreateFolderChain((strKanji + "\\" + strName + "\\").c_str()));
    EXPECT_EQ(std::vector<std::string>{strKanji + "\\" + strName}, Everything(strKanji));
}

TEST_F(FileCopyTest, HostilePartsAreRefusedBeforeAnythingIsWritten) {
    // Files the hostile names would reach, each outside the game folder or the package.
    ASSERT_TRUE(WriteFileBytes(m_Dir / "evil.txt", "outside"));
    ASSERT_TRUE(MakeFolders(m_strPackage + "\\x"));
    ASSERT_TRUE(WriteFileBytes(m_strPackage + "\\x\\evil.txt", "inside"));
    std::vector<std::string> before = Everything(m_Dir.Path());
    const char* const aaszHostile[][2] = {
        {"..\\", "evil.txt"},        {"../", "evil.txt"},           {"x\\..\\..\\", "evil.txt"},
        {"x/../../", "evil.txt"},    {"\\", "..\\evil.txt"},        {"", "../evil.txt"},
        {"x\\. .\\", "evil.txt"},    {"x\\...\\", "evil.txt"},      {"C:\\", "evil.txt"},
        {"x\\", "evil.txt:stream"},  {"x\\", "C:evil.txt"},         {"..", "\\evil.txt"},
        {"x\\", "con.txt"},          {"nul\\", "evil.txt"},         {"x\\", "COM1"},
        // Harmless apart, a parent folder once joined: the two are concatenated as they are.
        {".", ".\\evil.txt"},          {"\\.", ".\\evil.txt"},        {".", "."},
    };
    for (const auto& aszHostile : aaszHostile) {
        SCOPED_TRACE(std::string(aszHostile[0]) + "|" + aszHostile[1]);
        KRecordingShell shell;
        EXPECT_EQ(0, CopyPackageFile(&shell, m_strGame.c_str(), m_strPackage.c_str(), aszHostile[0], aszHostile[1]));
        std::vector<std::string> lines = shell.Lines();
        ASSERT_EQ(3u, lines.size());
        EXPECT_EQ(std::string(u8"·复制") + aszHostile[0] + aszHostile[1] + std::string(u8"时出错！（错误号：123）"), lines[2]);
        EXPECT_EQ(0, shell.Count("StepProgress"));
    }
    EXPECT_EQ(before, Everything(m_Dir.Path()));
    EXPECT_EQ("outside", ReadFileBytes(m_Dir / "evil.txt"));
}

TEST_F(FileCopyTest, OrdinaryNamesWithDotsStillCopy) {
    ASSERT_TRUE(MakeFolders(m_strPackage + "\\a..b\\.cfg"));
    ASSERT_TRUE(WriteFileBytes(m_strPackage + "\\a..b\\.cfg\\x..lua", "dots"));
    EXPECT_EQ(1, Copy("a..b\\.cfg\\", "x..lua"));
    EXPECT_EQ("dots", ReadFileBytes(m_strGame + "\\a..b\\.cfg\\x..lua"));
}

TEST_F(FileCopyTest, OverLongDestinationIsRefused) {
    std::string strFilePath = std::string(120, 'p') + "\\" + std::string(120, 'q') + "\\";
    EXPECT_EQ(0, Copy(strFilePath, "f.lua"));
    EXPECT_EQ(std::string(u8"·复制") + strFilePath + std::string(u8"f.lua时出错！（错误号：206）"), m_Shell.Lines().at(2));
    EXPECT_FALSE(FileExists(m_strGame + "\\" + std::string(120, 'p')));
}

}  // namespace
