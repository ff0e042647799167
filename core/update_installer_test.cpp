// The package description as KUpdateInstaller::Init reads it, from real files.
#include "core/update_installer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/win_text.h"
#include "tests/recording_output.h"
#include "tests/test_support.h"
#include "xml/xml_document.h"

using mwtest::KTempDir;
using mwtest::WriteFileBytes;

namespace {

struct KLoaded {
    KTempDir dir;
    mwtest::KRecordingOutput output;
    KUpdateInstaller installer;
    int nResult = -1;

    explicit KLoaded(const std::string& strBytes) {
        std::string strFile = dir / "Update.dat";
        WriteFileBytes(strFile, strBytes);
        nResult = installer.Init(strFile.c_str(), &output);
    }

    std::string Title() {
        char szTitle[KXML_TEXT_SIZE];
        strcpy(szTitle, "untouched");
        return installer.GetAppTitle(szTitle);
    }

    bool SawOnlyTheFaultLine() const {
        return output.m_Lines == std::vector<std::string>{GetString(IDS_DESCRIPTION_FAULTY)};
    }

    // The description was accepted: the game folder search ran and reported once.
    bool SearchedTheGameFolder() const {
        return output.m_Lines.size() == 1 && (output.m_Lines[0] == GetString(IDS_GAME_PATH_FOUND) ||
                                              output.m_Lines[0] == GetString(IDS_GAME_PATH_WRONG));
    }
};

std::string Sample() {
    return mwtest::ReadFileBytes(mwtest::SourcePath("examples/package/Update.dat"));
}

}  // namespace

TEST(UpdateDescription, SamplePackageLoadsWithTitleAndApplications) {
    KLoaded loaded(Sample());
    ASSERT_FALSE(Sample().empty()) << "sample package not found";
    EXPECT_TRUE(loaded.SearchedTheGameFolder());
    EXPECT_EQ(std::string("塔恩维克界面插件 1.2.0"), loaded.Title());
    ASSERT_EQ(2u, loaded.installer.m_AppInfoList.size());
    for (const KAppInfo& app : loaded.installer.m_AppInfoList) {
        EXPECT_STREQ("Tarnwick", app.szName);
        EXPECT_EQ(0, app.nValue[0] | app.nValue[1] | app.nValue[2] | app.nValue[3]);
    }
    EXPECT_EQ(276u, sizeof(KAppInfo));
}

TEST(UpdateDescription, Utf16AndUtf8TwinsReadTheSameAsGbk) {
    KLoaded gbk(Sample());
    // The sample in UTF-8 as an editor saves it: declared so, with or without the byte-order mark.
    std::string strUtf8 = CodePageToUtf8(936, Sample());
    size_t uAt = strUtf8.find("encoding=\"gbk\"");
    ASSERT_NE(uAt, std::string::npos);
    strUtf8.replace(uAt, 14, "encoding=\"utf-8\"");
    const std::pair<const char*, std::string> twins[] = {
        {"UTF-16", mwtest::ReadFileBytes(mwtest::SourcePath("examples/testdata/Update.utf16.dat"))},
        {"UTF-8", strUtf8},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + strUtf8},
    };
    for (const auto& twin : twins) {
        KLoaded loaded(twin.second);
        EXPECT_EQ(gbk.nResult, loaded.nResult) << twin.first;
        EXPECT_EQ(gbk.output.m_Lines, loaded.output.m_Lines) << twin.first;
        EXPECT_EQ(gbk.Title(), loaded.Title()) << twin.first;
        EXPECT_EQ(gbk.installer.m_AppInfoList.size(), loaded.installer.m_AppInfoList.size()) << twin.first;
    }
}

TEST(UpdateDescription, UnusableDescriptionsReportTheFaultOnce) {
    const std::pair<const char*, std::string> cases[] = {
        {"BOM-only UTF-16", std::string("\xFF\xFE", 2)},
        {"an encoding it cannot read", "<?xml version=\"1.0\" encoding=\"big5\"?><Root><AppTitle>t</AppTitle></Root>"},
        {"lower-case root", "<root><AppTitle>t</AppTitle></root>"},
        {"nested Root", "<Package><Root><AppTitle>t</AppTitle></Root></Package>"},
        {"not well-formed", "<Root><AppTitle>t</Root>"},
    };
    for (const auto& c : cases) {
        mwtest::KLogCapture log;
        KLoaded loaded(c.second);
        EXPECT_EQ(0, loaded.nResult) << c.first;
        EXPECT_TRUE(loaded.SawOnlyTheFaultLine()) << c.first;
        EXPECT_TRUE(loaded.installer.m_strGamePath.empty()) << c.first;  // no folder search
        EXPECT_EQ("", loaded.Title()) << c.first;
        // A parse failure is logged once; a missing Root is not a load failure.
        bool bParseFails = c.second[0] != '<';
        bParseFails = bParseFails || std::string(c.first) == "not well-formed" || c.second.find("big5") != std::string::npos;
        EXPECT_EQ(bParseFails, !log.Lines().empty()) << c.first;
    }
}

TEST(UpdateDescription, MissingFileReportsTheFaultOnce) {
    mwtest::KRecordingOutput output;
    KUpdateInstaller installer;
    EXPECT_EQ(0, installer.Init("C:\\no\\such\\package\\Update.dat", &output));
    EXPECT_EQ(std::vector<std::string>{GetString(IDS_DESCRIPTION_FAULTY)}, output.m_Lines);
    char szTitle[KXML_TEXT_SIZE] = "untouched";
    EXPECT_STREQ("", installer.GetAppTitle(szTitle));
    EXPECT_STREQ("untouched", szTitle);
}

TEST(UpdateDescription, APackageFolderTheEngineCannotBeGivenIsRefusedWithItsOwnLine) {
    // Hangul is in none of the ANSI code pages the tests run under (936, 1252, 932), and a folder
    // that does not exist has no short name to stand in for it.
    KTempDir dir;
    mwtest::KRecordingOutput output;
    KUpdateInstaller installer;
    std::string strFile = dir / u8"지도\\Update.dat";
    EXPECT_EQ(0, installer.Init(strFile.c_str(), &output));
    EXPECT_EQ(std::vector<std::string>{GetString(IDS_PACKAGE_PATH_UNREADABLE)}, output.m_Lines);
}

TEST(UpdateDescription, RootAloneIsAcceptedWithoutTitleOrApplications) {
    KLoaded loaded("<Root/>");
    EXPECT_TRUE(loaded.SearchedTheGameFolder());
    EXPECT_EQ("", loaded.Title());
    EXPECT_TRUE(loaded.installer.m_AppInfoList.empty());
}

TEST(UpdateDescription, OnlyVersionInfosWithAnApplicationCount) {
    KLoaded loaded(
        "<Root><VersionInfoList><VersionInfo><Application>a.exe</Application></VersionInfo>"
        "<Other><Application>x</Application></Other>"
        "<VersionInfo><Application></Application></VersionInfo>"
        "<VersionInfo><Version>1</Version></VersionInfo>"
        "<VersionInfo><Application>b.exe</Application></VersionInfo></VersionInfoList>"
        "<VersionInfoList><VersionInfo><Application>ignored</Application></VersionInfo></VersionInfoList></Root>");
    EXPECT_EQ(2u, loaded.installer.m_AppInfoList.size());
}

TEST(UpdateDescription, OverLongTitleIsCutOnACharacterBoundary) {
    std::string strTitle = "T";
    for (int i = 0; i < 4999; ++i)
        strTitle += "塔";
    KLoaded loaded(mwtest::Gbk("<Root><AppTitle>" + strTitle + "</AppTitle><VersionInfoList><VersionInfo><Application>" +
                               std::string(10000, 'a') + "</Application></VersionInfo></VersionInfoList></Root>"));
    EXPECT_TRUE(loaded.SearchedTheGameFolder());
    // The buffer's 779 bytes of UTF-8 hold "T" and 259 characters of three bytes.
    EXPECT_EQ(strTitle.substr(0, 1 + 259 * 3), loaded.Title());
    EXPECT_EQ(1u, loaded.installer.m_AppInfoList.size());
}

TEST(UpdateDescription, TitleCanBeAskedWhileAnotherThreadWalksTheDocument) {
    std::string strXml = "<Root><AppTitle>title</AppTitle><FileList>";
    for (int i = 0; i < 20000; ++i)
        strXml += "<File><FilePath>a\\</FilePath><FileName>f</FileName></File>";
    strXml += "</FileList></Root>";
    KLoaded loaded(strXml);
    std::thread walker([&loaded] {
        IKXmlNode* pRoot = loaded.installer.m_pXmlDoc->GetRootElement("Root");
        char szName[KXML_TEXT_SIZE];
        for (IKXmlNode* pFile = pRoot->GetFirstChildByName("FileList")->GetFirstChildByName("File"); pFile;
             pFile = pFile->GetNextSiblingByName("File"))
            pFile->GetChildText("FileName", szName);
    });
    int nAsked = 0;
    for (; nAsked < 20000; ++nAsked)
        ASSERT_EQ("title", loaded.Title());
    walker.join();
}
