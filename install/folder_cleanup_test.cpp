#include "install/folder_cleanup.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

using mwtest::FileExists;
using mwtest::KTempDir;
using mwtest::MakeFolders;
using mwtest::WriteFileBytes;

namespace {

bool s_SetAttributes(const std::string& strPath, DWORD dwAttributes) {
    return SetFileAttributesA(strPath.c_str(), dwAttributes) != 0;
}


class FolderCleanupTest : public ::testing::Test {
protected:
    std::string Plugin() const { return m_Dir / "interface"; }
    KTempDir m_Dir;
};

TEST_F(FolderCleanupTest, EmptyFolderGoesWithOrWithoutTrailingBackslash) {
    ASSERT_TRUE(MakeFolders(Plugin()));
    EXPECT_EQ(1, DeleteFolderTree((Plugin() + "\\").c_str()));
    EXPECT_FALSE(FileExists(Plugin()));

    ASSERT_TRUE(MakeFolders(Plugin()));
    EXPECT_EQ(1, DeleteFolderTree(Plugin().c_str()));
    EXPECT_FALSE(FileExists(Plugin()));
}

TEST_F(FolderCleanupTest, MissingFolderYieldsZero) {
    EXPECT_EQ(0, DeleteFolderTree(Plugin().c_str()));
    EXPECT_EQ(0, DeleteFolderTree(""));
    EXPECT_EQ(0, DeleteFolderTree(nullptr));
}

TEST_F(FolderCleanupTest, WholeTreeGoesWithHiddenAndSystemEntries) {
    ASSERT_TRUE(MakeFolders(Plugin() + "\\a\\b\\c"));
    ASSERT_TRUE(MakeFolders(Plugin() + "\\hidden"));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\top.lua", "1"));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\a\\b\\c\\deep.lua", "2"));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\a\\h.ini", "3"));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\a\\s.dat", "4"));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\hidden\\x", "5"));
    ASSERT_TRUE(s_SetAttributes(Plugin() + "\\a\\h.ini", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(s_SetAttributes(Plugin() + "\\a\\s.dat", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(s_SetAttributes(Plugin() + "\\hidden", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY));

    EXPECT_EQ(1, DeleteFolderTree((Plugin() + "\\").c_str()));
    EXPECT_FALSE(FileExists(Plugin()));
    EXPECT_TRUE(FileExists(m_Dir.Path()));
}

TEST_F(FolderCleanupTest, ReadOnlyFileStaysWithItsFoldersAndTheRestGoes) {
    ASSERT_TRUE(MakeFolders(Plugin() + "\\a\\inner"));
    ASSERT_TRUE(MakeFolders(Plugin() + "\\b"));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\a\\inner\\ro.lua", "kept"));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\a\\x.lua", "x"));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\b\\y.lua", "y"));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\z.lua", "z"));
    ASSERT_TRUE(s_SetAttributes(Plugin() + "\\a\\inner\\ro.lua", FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(0, DeleteFolderTree((Plugin() + "\\").c_str()));
    EXPECT_EQ("kept", mwtest::ReadFileBytes(Plugin() + "\\a\\inner\\ro.lua"));
    EXPECT_FALSE(FileExists(Plugin() + "\\a\\x.lua"));
    EXPECT_FALSE(FileExists(Plugin() + "\\b"));
    EXPECT_FALSE(FileExists(Plugin() + "\\z.lua"));
    // The read-only attribute is left as it was.
    EXPECT_TRUE(GetFileAttributesA((Plugin() + "\\a\\inner\\ro.lua").c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(FolderCleanupTest, FileInUseDeepInTheTreeKeepsOnlyItsAncestors) {
    ASSERT_TRUE(MakeFolders(Plugin() + "\\a\\b"));
    ASSERT_TRUE(MakeFolders(Plugin() + "\\a\\sibling"));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\a\\b\\busy.dll", "busy"));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\a\\b\\free.dll", "free"));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\a\\sibling\\s.lua", "s"));
    HANDLE hBusy = CreateFileA((Plugin() + "\\a\\b\\busy.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hBusy);

    int nResult = DeleteFolderTree(Plugin().c_str());
    CloseHandle(hBusy);
    EXPECT_EQ(0, nResult);
    EXPECT_TRUE(FileExists(Plugin() + "\\a\\b\\busy.dll"));
    EXPECT_FALSE(FileExists(Plugin() + "\\a\\b\\free.dll"));
    EXPECT_FALSE(FileExists(Plugin() + "\\a\\sibling"));
}

TEST_F(FolderCleanupTest, FolderLinkIsNeverFollowed) {
    std::string strOutside = m_Dir / "outside";
    std::string strEmpty = m_Dir / "empty";
    ASSERT_TRUE(MakeFolders(strOutside + "\\sub"));
    ASSERT_TRUE(MakeFolders(strEmpty));
    ASSERT_TRUE(WriteFileBytes(strOutside + "\\precious.txt", "p"));
    ASSERT_TRUE(WriteFileBytes(strOutside + "\\sub\\more.txt", "m"));
    ASSERT_TRUE(MakeFolders(Plugin()));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\own.lua", "o"));
    ASSERT_TRUE(mwtest::MakeFolderLink(Plugin() + "\\link", strOutside));
    ASSERT_TRUE(mwtest::MakeFolderLink(Plugin() + "\\link_to_empty", strEmpty));
    ASSERT_TRUE(mwtest::MakeFolderLink(m_Dir / "interface2", strOutside));

    int nInner = DeleteFolderTree((Plugin() + "\\").c_str());
    int nTop = DeleteFolderTree((m_Dir / "interface2\\").c_str());
    EXPECT_EQ("p", mwtest::ReadFileBytes(strOutside + "\\precious.txt"));
    EXPECT_EQ("m", mwtest::ReadFileBytes(strOutside + "\\sub\\more.txt"));
    EXPECT_TRUE(FileExists(strEmpty));
    EXPECT_FALSE(FileExists(Plugin() + "\\own.lua"));
    // Windows removes a junction itself; Wine cannot open a Unix link as itself, so there the
    // links and their folder stay and the cleanup reports failure.
    EXPECT_EQ(nInner, FileExists(Plugin()) ? 0 : 1);
    EXPECT_EQ(nTop, FileExists(m_Dir / "interface2") ? 0 : 1);
}

// Creates a folder chain whose full path may exceed MAX_PATH, through the wide functions.
bool s_MakeLongFolders(const std::string& strBase, const std::string& strRelative) {
    MakeFolders(strBase);
    std::string strPath = strBase;
    size_t uStart = 0;
    while (uStart < strRelative.size()) {
        size_t uEnd = strRelative.find('\\', uStart);
        if (uEnd == std::string::npos)
            uEnd = strRelative.size();
        strPath += "\\" + strRelative.substr(uStart, uEnd - uStart);
        std::wstring wstrPath = L"\\\\?\\";
        for (char ch : strPath)
            wstrPath += static_cast<wchar_t>(static_cast<unsigned char>(ch));
        CreateDirectoryW(wstrPath.c_str(), nullptr);
        uStart = uEnd + 1;
    }
    std::wstring wstrPath = L"\\\\?\\";
    for (char ch : strPath)
        wstrPath += static_cast<wchar_t>(static_cast<unsigned char>(ch));
    return GetFileAttributesW(wstrPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST_F(FolderCleanupTest, PathsOfTwoHundredAndMoreAreHandled) {
    // Entries between 200 and 259 characters long go like any other.
    std::string strName(60, 'n');
    std::string strRelative = strName + "\\" + strName + "\\" + strName;
    ASSERT_TRUE(s_MakeLongFolders(Plugin(), strRelative));
    std::string strFile = Plugin() + "\\" + strRelative + "\\f.lua";
    ASSERT_GE(strFile.size(), 200u);
    ASSERT_LT(strFile.size(), static_cast<size_t>(MAX_PATH));
    ASSERT_TRUE(WriteFileBytes(strFile, "f"));
    EXPECT_EQ(1, DeleteFolderTree(Plugin().c_str()));
    EXPECT_FALSE(FileExists(Plugin()));
}

TEST_F(FolderCleanupTest, EntriesBeyondMaxPathGoLikeAnyOther) {
    // A player's plug-in files may lie deeper than MAX_PATH: the folder must go all the same.
    std::string strName(100, 'd');
    ASSERT_TRUE(s_MakeLongFolders(Plugin(), "short\\" + strName + "\\" + strName + "\\" + strName));
    ASSERT_TRUE(MakeFolders(Plugin() + "\\other"));
    ASSERT_TRUE(WriteFileBytes(Plugin() + "\\other\\o.lua", "o"));
    EXPECT_EQ(1, DeleteFolderTree((Plugin() + "\\").c_str()));
    EXPECT_FALSE(FileExists(Plugin()));
}

}  // namespace
