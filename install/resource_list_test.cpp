#include "install/resource_list.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/test_support.h"

using mwtest::Ansi;
using mwtest::FileExists;
using mwtest::ReadFileBytes;
using mwtest::WriteFileBytes;

namespace {

class ResourceListTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(mwtest::MakeFolders(m_strFolder)); }
    bool Load() { return m_List.Load(m_strResourceIni.c_str(), m_strResInstallIni.c_str()) == 1; }
    void WriteCatalogue(const std::string& strText) { ASSERT_TRUE(WriteFileBytes(m_strResourceIni, strText)); }
    void WriteStatus(const std::string& strText) { ASSERT_TRUE(WriteFileBytes(m_strResInstallIni, strText)); }
    const KResourceEntry& Entry(size_t i) const { return m_List.m_EntryList.at(i); }

    mwtest::KTempDir m_Dir;
    std::string m_strFolder = m_Dir / "game\\resource";
    std::string m_strResourceIni = m_strFolder + "\\resource.ini";
    std::string m_strResInstallIni = m_strFolder + "\\resinstall.ini";
    KResourceList m_List;
};

}  // namespace

TEST_F(ResourceListTest, MissingFilesGiveAnEmptyListAndNullPathsAreRefused) {
    EXPECT_EQ(0, m_List.Load(nullptr, m_strResInstallIni.c_str()));
    EXPECT_EQ(0, m_List.Load(m_strResourceIni.c_str(), nullptr));
    ASSERT_TRUE(Load());
    EXPECT_TRUE(m_List.m_EntryList.empty());
    EXPECT_EQ(m_strResourceIni, m_List.m_szResourceIni);
    EXPECT_EQ(m_strResInstallIni, m_List.m_szResInstallIni);
    EXPECT_FALSE(FileExists(m_strResourceIni));
}

TEST_F(ResourceListTest, FieldsAndStatesComeFromBothFilesInFileOrder) {
    WriteCatalogue(Ansi("[zeta]\r\ntitle=美术包\r\ndescript=d\r\ndownloadworker=w.exe\r\ntype=0\r\n"
                        "[alpha]\r\ntitle=A\r\n"));
    WriteStatus("[alpha]\r\ninstall=1\r\nskip=3\r\n[unlisted]\r\ninstall=1\r\n");
    ASSERT_TRUE(Load());
    ASSERT_EQ(2u, m_List.m_EntryList.size());
    EXPECT_STREQ("zeta", Entry(0).szName);
    EXPECT_EQ("美术包", std::string(Entry(0).szTitle));
    EXPECT_STREQ("d", Entry(0).szDescript);
    EXPECT_STREQ("w.exe", Entry(0).szDownloadWorker);
    // A package without a section in resinstall.ini.
    EXPECT_EQ(0, Entry(0).nInstall);
    EXPECT_EQ(0, Entry(0).nSkip);
    EXPECT_STREQ("alpha", Entry(1).szName);
    EXPECT_EQ(1, Entry(1).nInstall);
    EXPECT_EQ(3, Entry(1).nSkip);
    EXPECT_EQ(-1, m_List.GetInstallState("unlisted"));
    EXPECT_EQ(-1, m_List.GetInstallState(nullptr));
    EXPECT_EQ(1, m_List.GetInstallState("alpha"));
}

TEST_F(ResourceListTest, LongValuesAreCutToTheirLimitOnCharacterBoundaries) {
    std::string strWide;
    for (int i = 0; i < 140; ++i)
        strWide += "资";  // 140 characters, written in the system's code page
    WriteCatalogue("[p]\r\ntitle=" + std::string(200, 't') + "\r\ndescript=" + std::string(200, 'd') +
                   "\r\ndownloadworker=" + Ansi(strWide) + "\r\ntype=1\r\nregkey1=" + std::string(300, 'r') +
                   "\r\nkeyname1=" + std::string(200, 'k') + "\r\nexe1=" + std::string(200, 'e') + "\r\n");
    ASSERT_TRUE(Load());
    const KResourceEntry& entry = Entry(0);
    EXPECT_EQ(std::string(127, 't'), entry.szTitle);
    // The field holds 260 bytes, but no more than 127 characters are read into it.
    EXPECT_EQ(std::string(127, 'd'), entry.szDescript);
    // Characters count as the system counts them: 127 UTF-16 units, three bytes each in UTF-8.
    EXPECT_EQ(strWide.substr(0, 127 * 3), entry.szDownloadWorker);
    ASSERT_EQ(1u, entry.KeyList.size());
    EXPECT_EQ(std::string(259, 'r'), entry.KeyList[0].szRegKey);
    EXPECT_EQ(std::string(127, 'k'), entry.KeyList[0].szKeyName);
    EXPECT_EQ(std::string(127, 'e'), entry.KeyList[0].szExe);
}

TEST_F(ResourceListTest, KeyTriplesEndAtTheFirstIncompleteNumber) {
    std::string strNine = "[nine]\r\ntype=1\r\n";
    for (int n = 0; n <= 10; ++n) {
        std::string strN = std::to_string(n);
        strNine += "regkey" + strN + "=R" + strN + "\r\nkeyname" + strN + "=K" + strN + "\r\nexe" + strN + "=E" + strN + "\r\n";
    }
    WriteCatalogue("[first]\r\ntype=1\r\nregkey1=HKLM\\A\r\nkeyname1=Path\r\nexe1=a.exe\r\n"
                   "regkey2=HKLM\\B\r\nkeyname2=Path\r\n"
                   "regkey3=HKLM\\C\r\nkeyname3=Path\r\nexe3=c.exe\r\n"
                   "[plain]\r\nregkey1=HKLM\\A\r\nkeyname1=Path\r\nexe1=a.exe\r\n"
                   "[zero]\r\ntype=1\r\nregkey0=HKLM\\A\r\nkeyname0=Path\r\nexe0=a.exe\r\n" +
                   strNine);
    ASSERT_TRUE(Load());
    ASSERT_EQ(4u, m_List.m_EntryList.size());
    ASSERT_EQ(1u, Entry(0).KeyList.size());
    EXPECT_STREQ("HKLM\\A", Entry(0).KeyList[0].szRegKey);
    EXPECT_STREQ("Path", Entry(0).KeyList[0].szKeyName);
    EXPECT_STREQ("a.exe", Entry(0).KeyList[0].szExe);
    // Type 0 after type 1: keys of its own are not read, and none are carried over.
    EXPECT_EQ(0, Entry(1).nType);
    EXPECT_TRUE(Entry(1).KeyList.empty());
    EXPECT_TRUE(Entry(2).KeyList.empty());
    ASSERT_EQ(9u, Entry(3).KeyList.size());
    EXPECT_STREQ("R1", Entry(3).KeyList.front().szRegKey);
    EXPECT_STREQ("E9", Entry(3).KeyList.back().szExe);
}

TEST_F(ResourceListTest, ReloadReplacesTheListCompletely) {
    WriteCatalogue("[a]\r\ntype=1\r\nregkey1=r\r\nkeyname1=k\r\nexe1=e\r\n[b]\r\n[c]\r\n");
    ASSERT_TRUE(Load());
    ASSERT_EQ(3u, m_List.m_EntryList.size());
    WriteCatalogue("[c]\r\n[a]\r\n");
    WriteStatus("[a]\r\ninstall=2\r\n");
    ASSERT_TRUE(Load());
    ASSERT_EQ(2u, m_List.m_EntryList.size());
    EXPECT_STREQ("c", Entry(0).szName);
    EXPECT_STREQ("a", Entry(1).szName);
    EXPECT_TRUE(Entry(1).KeyList.empty());
    EXPECT_EQ(2, Entry(1).nInstall);
    EXPECT_EQ(-1, m_List.GetInstallState("b"));
}

TEST_F(ResourceListTest, InstallStatesRoundTripThroughResinstallIni) {
    WriteCatalogue("[base]\r\n[music]\r\n[maps]\r\n");
    WriteStatus("[music]\r\nskip=1\r\n");
    ASSERT_TRUE(Load());

    EXPECT_NE(0, m_List.SetInstallState(1, 1));
    EXPECT_NE(0, m_List.SetInstallStateByName("maps", 2));
    // Out of range: the entry says -1, the file keeps the number as given.
    EXPECT_NE(0, m_List.SetInstallState(0, 7));
    EXPECT_EQ(-1, m_List.GetInstallState("base"));
    EXPECT_EQ(1, m_List.GetInstallState("music"));
    EXPECT_EQ(2, m_List.GetInstallState("maps"));

    EXPECT_EQ(0, m_List.SetInstallState(-1, 1));
    EXPECT_EQ(0, m_List.SetInstallState(3, 1));
    EXPECT_EQ(0, m_List.SetInstallStateByName("nosuch", 1));
    EXPECT_EQ(0, m_List.SetInstallStateByName(nullptr, 1));

    KResourceList reloaded;
    ASSERT_EQ(1, reloaded.Load(m_strResourceIni.c_str(), m_strResInstallIni.c_str()));
    EXPECT_EQ(7, reloaded.GetInstallState("base"));
    EXPECT_EQ(1, reloaded.GetInstallState("music"));
    EXPECT_EQ(1, reloaded.m_EntryList.at(1).nSkip);
    EXPECT_EQ(2, reloaded.GetInstallState("maps"));
    EXPECT_EQ(std::string::npos, ReadFileBytes(m_strResInstallIni).find("nosuch"));
}

TEST_F(ResourceListTest, LongSectionListIsReadInFull) {
    std::string strText;
    for (int i = 0; i < 100; ++i) {
        char szName[40];
        snprintf(szName, sizeof(szName), "package_with_a_long_name_%04d", i);
        strText += std::string("[") + szName + "]\r\ntitle=t\r\n";
    }
    WriteCatalogue(strText);
    ASSERT_TRUE(Load());
    // 100 names of 29 characters and their terminators: 3,000 characters.
    ASSERT_EQ(100u, m_List.m_EntryList.size());
    EXPECT_STREQ("package_with_a_long_name_0000", Entry(0).szName);
    EXPECT_STREQ("package_with_a_long_name_0099", Entry(99).szName);
}

TEST_F(ResourceListTest, OverlongSectionNamesAreSkipped) {
    std::string strFits(127, 'n');
    WriteCatalogue("[" + std::string(128, 'x') + "]\r\ntitle=long\r\n[" + strFits + "]\r\ntitle=fits\r\n[after]\r\n");
    ASSERT_TRUE(Load());
    ASSERT_EQ(2u, m_List.m_EntryList.size());
    EXPECT_EQ(strFits, Entry(0).szName);
    EXPECT_STREQ("fits", Entry(0).szTitle);
    EXPECT_STREQ("after", Entry(1).szName);
}

TEST_F(ResourceListTest, OverlongPathsAreRefusedAndNothingIsWritten) {
    WriteCatalogue("[a]\r\n");
    ASSERT_TRUE(Load());
    std::string strLong = m_strFolder + "\\" + std::string(260, 'p') + ".ini";
    EXPECT_EQ(0, m_List.Load(m_strResourceIni.c_str(), strLong.c_str()));
    EXPECT_TRUE(m_List.m_EntryList.empty());
    EXPECT_STREQ("", m_List.m_szResInstallIni);
    EXPECT_EQ(0, m_List.SetInstallStateByName("a", 1));
    EXPECT_FALSE(FileExists(m_strResInstallIni));
}

TEST_F(ResourceListTest, NamesCompareWithoutCaseLikeIniSections) {
    WriteCatalogue("[BasePack]\r\ntitle=B\r\n[basepack]\r\ntitle=second\r\n[" + Ansi("美术Pack") + "]\r\n");
    WriteStatus("[BASEPACK]\r\ninstall=1\r\n[" + Ansi("美术PACK") + "]\r\ninstall=2\r\n");
    ASSERT_TRUE(Load());
    // Both sections are listed; the INI functions reach the first of the name for either.
    ASSERT_EQ(3u, m_List.m_EntryList.size());
    EXPECT_STREQ("B", Entry(1).szTitle);
    EXPECT_EQ(1, Entry(0).nInstall);
    EXPECT_EQ(1, m_List.GetInstallState("basepack"));
    EXPECT_EQ(1, m_List.GetInstallState(" BASEPACK "));
    EXPECT_EQ(2, m_List.GetInstallState("美术pack"));
    EXPECT_EQ(0, m_List.FindEntry("BASEPACK"));
    EXPECT_NE(0, m_List.SetInstallStateByName("BASEpack", 2));
    EXPECT_EQ(2, static_cast<int>(GetPrivateProfileIntA("basepack", "install", -9, m_strResInstallIni.c_str())));
}

TEST_F(ResourceListTest, ManySectionsOfEveryKindLoad) {
    // Each section of the two kinds; the count is far beyond what one profile call per key
    // could read while a window waits.
    std::string strCatalogue;
    std::string strStatus;
    const int nSections = 10000;
    for (int i = 0; i < nSections; ++i) {
        std::string strName = "pkg" + std::to_string(i);
        strCatalogue += "[" + strName + "]\r\ntitle=T" + std::to_string(i) + "\r\n";
        if (i % 2)
            strCatalogue += "type=1\r\nregkey1=HKLM\\" + strName + "\r\nkeyname1=Path\r\nexe1=a.exe\r\n";
        strStatus += "[" + strName + "]\r\ninstall=" + std::to_string(i % 3) + "\r\n";
    }
    WriteCatalogue(strCatalogue);
    WriteStatus(strStatus);
    ASSERT_TRUE(Load());
    ASSERT_EQ(static_cast<size_t>(nSections), m_List.m_EntryList.size());
    const KResourceEntry& last = Entry(nSections - 1);
    EXPECT_STREQ("pkg9999", last.szName);
    EXPECT_STREQ("T9999", last.szTitle);
    ASSERT_EQ(1u, last.KeyList.size());
    EXPECT_STREQ("HKLM\\pkg9999", last.KeyList[0].szRegKey);
    EXPECT_EQ(9999 % 3, last.nInstall);
    EXPECT_TRUE(Entry(nSections - 2).KeyList.empty());
    EXPECT_EQ(9998 % 3, m_List.GetInstallState("PKG9998"));
}
