#include "install/update_command.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/string_table.h"
#include "core/update_installer.h"
#include "core/update_semaphore.h"
#include "install/install_transaction.h"
#include "install/install_worker.h"
#include "install/package_rules.h"
#include "tests/recording_shell.h"
#include "tests/test_support.h"
#include "xml/xml_document.h"

using mwtest::FileExists;
using mwtest::KRecordingShell;
using mwtest::KTempDir;
using mwtest::MakeFolders;
using mwtest::WriteFileBytes;

namespace {

// A front end that takes over a typed game folder and counts what it was asked to do.
class KTypedFrontEnd : public IKUpdateFrontEnd {
public:
    explicit KTypedFrontEnd(KRecordingShell* pShell) : m_pShell(pShell) {}
    void ShowGameRunning(int nTextId) override { m_Asked.push_back("ShowGameRunning(" + std::to_string(nTextId) + ")"); }
    void TakeGamePath() override {
        m_Asked.push_back("TakeGamePath");
        m_pShell->m_strGamePath = m_strTyped;
    }
    bool ConfirmReinstall() override {
        m_Asked.push_back("ConfirmReinstall");
        return m_bReinstall;
    }
    void OfferGameUpdater() override { m_Asked.push_back("OfferGameUpdater"); }
    KRecordingShell* m_pShell;
    bool m_bReinstall = false;
    std::string m_strTyped;
    std::vector<std::string> m_Asked;
};

class UpdateCommandTest : public ::testing::Test {
protected:
    UpdateCommandTest() : m_strGame(m_Dir / "game"), m_FrontEnd(&m_Shell) {
        MakeFolders(m_strGame);
        WriteFileBytes(m_strGame + "\\velmora.exe", "launcher");
        MakeFolders(m_Dir / "package");
        m_Installer.m_strGamePath = m_strGame;
        m_Installer.m_pMsgOutput = &m_Shell;
        m_Installer.m_pXmlDoc = CreateXMLDocument(0, "gbk");
        m_Installer.m_pXmlDoc->LoadBuff("<Root><FileList/></Root>");
        m_Shell.m_pInstaller = &m_Installer;
        m_Shell.m_strGamePath = "last taken over";
        m_Shell.m_strPackagePath = m_Dir / "package";
        m_FrontEnd.m_strTyped = m_strGame;
        m_Worker.m_pShellCtrl = &m_Shell;
    }
    int Run() { return RunUpdateCommand(&m_Shell, &m_FrontEnd, &m_Worker); }

    KTempDir m_Dir;
    std::string m_strGame;
    KRecordingShell m_Shell;
    KUpdateInstaller m_Installer;
    KTypedFrontEnd m_FrontEnd;
    KInstallWorker m_Worker;
};

TEST_F(UpdateCommandTest, RunningGameIsCheckedFirstOnTheStartUpFolder) {
    // The game's "CLIENT" semaphore of the folder found at start-up, not of the typed one.
    m_FrontEnd.m_strTyped = "";
    KUpdateSemaphore client;
    std::strcpy(client.m_szName, MakeSemaphoreName("CLIENT", m_strGame.c_str()));
    ASSERT_EQ(1, client.Acquire(0));

    EXPECT_EQ(KUPDATE_GAME_RUNNING, Run());
    EXPECT_EQ(std::vector<std::string>{"ShowGameRunning(2008)"}, m_FrontEnd.m_Asked);
    EXPECT_EQ(std::vector<std::string>{"OnInstallEnd(0)"}, m_Shell.Calls());
    EXPECT_EQ("last taken over", m_Shell.m_strGamePath);  // the typed text was not taken over
}

TEST_F(UpdateCommandTest, EmptyMissingOrPlainFileFolderGives2012) {
    ASSERT_TRUE(WriteFileBytes(m_Dir / "plain", "x"));
    const std::string aTyped[] = {"", m_Dir / "missing", m_Dir / "plain"};
    for (const std::string& strTyped : aTyped) {
        SCOPED_TRACE(strTyped);
        KRecordingShell shell;
        shell.m_pInstaller = &m_Installer;
        KTypedFrontEnd frontEnd(&shell);
        frontEnd.m_strTyped = strTyped;
        EXPECT_EQ(KUPDATE_FOLDER_WRONG, RunUpdateCommand(&shell, &frontEnd, &m_Worker));
        EXPECT_EQ(std::vector<std::string>{"TakeGamePath"}, frontEnd.m_Asked);
        EXPECT_EQ(std::vector<std::string>{std::string(u8"·游戏路径有误，请选择正确的游戏路径。")}, shell.Lines());
        EXPECT_EQ("OnInstallEnd(0)", shell.Calls().back());
        EXPECT_EQ(nullptr, m_Worker.m_hThread);
    }
}

TEST_F(UpdateCommandTest, RefusedResourceCheckEndsWithoutWorker) {
    // A game folder whose resource list cannot be loaded (resource\\resinstall.ini would not fit
    // a path): the check answers 1.
    std::string strLong = m_Dir / std::string(245 - m_Dir.Path().size() - 1, 'l');
    ASSERT_TRUE(MakeFolders(strLong));
    ASSERT_TRUE(WriteFileBytes(strLong + "\\velmora.exe", "launcher"));
    m_FrontEnd.m_strTyped = strLong;
    EXPECT_EQ(KUPDATE_RESOURCES_REFUSED, Run());
    EXPECT_EQ("OnInstallEnd(0)", m_Shell.Calls().back());
    EXPECT_EQ(0, m_Shell.Count("ShowProgress(1)"));
    EXPECT_EQ(nullptr, m_Worker.m_hThread);
}

TEST_F(UpdateCommandTest, AllChecksPassedShowsProgressAndStartsTheWorker) {
    EXPECT_EQ(KUPDATE_STARTED, Run());
    ASSERT_TRUE(m_Shell.WaitEnded(30000));
    m_Worker.Stop();
    std::vector<std::string> calls = m_Shell.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ("ShowProgress(1)", calls[0]);
    EXPECT_EQ("OnInstallBegin", calls[1]);
    EXPECT_EQ(m_strGame, m_Shell.m_strGamePath);
    EXPECT_TRUE(FileExists(m_strGame + "\\resource"));
}

TEST_F(UpdateCommandTest, EachRefusalComesBeforeTheGameFolderIsTouched) {
    const std::string strNotAGame = m_Dir / "documents";
    ASSERT_TRUE(MakeFolders(strNotAGame + "\\interface"));
    KUpdateInstaller damaged;
    damaged.Init((m_Dir / "package\\Update.dat").c_str(), nullptr);  // no description there
    struct KCase {
        const char* pszWhat;
        std::string strTyped;
        std::string strPackage;
        KUpdateInstaller* pInstaller;
        int nOutcome;
        std::string strLine;
    };
    const KCase aCases[] = {
        {"damaged description", m_strGame, m_Dir / "package", &damaged, KUPDATE_DESCRIPTION_FAULTY,
         std::string(u8"·配置文件有误，不能进行升级，请重新下载升级包。")},
        {"no launcher", strNotAGame, m_Dir / "package", &m_Installer, KUPDATE_FOLDER_WRONG,
         std::string(u8"·游戏路径有误，请选择正确的游戏路径。")},
        {"package in the game folder", m_strGame + "\\", m_strGame + "\\Downloads\\..", &m_Installer, KUPDATE_PACKAGE_IN_GAME,
         std::string(u8"·升级包不能放在游戏目录里，请把升级包解压到别的目录后再安装。")},
        {"package below the game folder", m_strGame, m_strGame + "\\update", &m_Installer, KUPDATE_PACKAGE_IN_GAME,
         std::string(u8"·升级包不能放在游戏目录里，请把升级包解压到别的目录后再安装。")},
    };
    for (const KCase& oneCase : aCases) {
        SCOPED_TRACE(oneCase.pszWhat);
        KRecordingShell shell;
        shell.m_pInstaller = oneCase.pInstaller;
        shell.m_strPackagePath = oneCase.strPackage;
        KTypedFrontEnd frontEnd(&shell);
        frontEnd.m_strTyped = oneCase.strTyped;
        EXPECT_EQ(oneCase.nOutcome, RunUpdateCommand(&shell, &frontEnd, &m_Worker));
        EXPECT_EQ(std::vector<std::string>{oneCase.strLine}, shell.Lines());
        EXPECT_EQ("OnInstallEnd(0)", shell.Calls().back());
        EXPECT_EQ(nullptr, m_Worker.m_hThread);
    }
    EXPECT_TRUE(FileExists(strNotAGame + "\\interface"));
}

TEST_F(UpdateCommandTest, WhatThePlanRefusesIsRefusedBeforeTheResourceCheckMakesItsFolder) {
    ASSERT_TRUE(MakeFolders(m_Dir / "package\\.mendwright."));
    ASSERT_TRUE(WriteFileBytes(m_Dir / "package\\.mendwright.\\x.txt", "x"));
    const struct {
        const char* pszFilePath;
        const char* pszFileName;
        std::string strLine;
    } aCases[] = {
        // The working folder's name as the system resolves it (its trailing dot dropped).
        {".mendwright.\\", "x.txt", std::string(u8"·复制.mendwright.\\x.txt时出错！（错误号：123）")},
        {"\\", "missing.txt", std::string(u8"·升级包中缺少文件\\missing.txt，请重新下载升级包。")},
    };
    for (const auto& oneCase : aCases) {
        SCOPED_TRACE(oneCase.pszFileName);
        KRecordingShell shell;
        shell.m_pInstaller = &m_Installer;
        shell.m_strPackagePath = m_Dir / "package";
        KTypedFrontEnd frontEnd(&shell);
        frontEnd.m_strTyped = m_strGame;
        m_Installer.m_pXmlDoc->LoadBuff((std::string("<Root><FileList><File><FilePath>") + oneCase.pszFilePath +
                                         "</FilePath><FileName>" + oneCase.pszFileName + "</FileName></File></FileList></Root>")
                                            .c_str());
        EXPECT_EQ(KUPDATE_PLAN_REFUSED, RunUpdateCommand(&shell, &frontEnd, &m_Worker));
        EXPECT_EQ(std::vector<std::string>{oneCase.strLine}, shell.Lines());
        EXPECT_EQ("OnInstallEnd(0)", shell.Calls().back());
        EXPECT_EQ(nullptr, m_Worker.m_hThread);
        EXPECT_FALSE(FileExists(m_strGame + "\\resource"));
    }
}

TEST_F(UpdateCommandTest, AFolderBeingInstalledIsRefusedThroughALinkOrAnotherDriveAndItsJournalKept) {
    // Another run installs into the game folder: it holds the folder's semaphores and the lock of
    // its working folder, whose journal no spelling of the folder may take for an interrupted run.
    std::vector<std::string> aliases;
    if (mwtest::MakeFolderLink(m_Dir / "gamelink", m_strGame))
        aliases.push_back(m_Dir / "gamelink");
    std::string strUnix = mwtest::UnixPath(m_strGame);
    if (!strUnix.empty()) {
        for (char& ch : strUnix)
            ch = ch == '/' ? '\\' : ch;
        aliases.push_back("Z:" + strUnix);
    }
    ASSERT_FALSE(aliases.empty()) << "no other spelling of a folder here";
    KInstallWorker other;
    ASSERT_EQ(1, other.HoldFolder(m_strGame.c_str()));
    KInstallPlan plan;
    KInstallTransaction live(m_strGame, plan);
    ASSERT_EQ(1, live.Begin());
    for (const std::string& strAlias : aliases) {
        m_FrontEnd.m_strTyped = strAlias;
        m_FrontEnd.m_Asked.clear();
        EXPECT_EQ(KUPDATE_GAME_RUNNING, Run()) << strAlias;
        EXPECT_EQ((std::vector<std::string>{"TakeGamePath", "ShowGameRunning(2090)"}), m_FrontEnd.m_Asked) << strAlias;
        // The lock alone holds where the semaphores are not seen (an installer of another kind).
        EXPECT_EQ(KRECOVERY_BUSY, RecoverInterruptedInstall(strAlias.c_str(), &m_Shell)) << strAlias;
        EXPECT_TRUE(FileExists(m_strGame + "\\" WORK_FOLDER_NAME "\\journal")) << strAlias;
    }
}

TEST_F(UpdateCommandTest, TheFolderInstalledIntoIsHeldForTheWholeRunUnderAnySpelling) {
    // Another installer holds the folder, written with a trailing backslash and in other case.
    {
        KUpdateSemaphore other;
        std::string strOther = m_strGame + "\\";
        CharUpperA(&strOther[0]);
        std::strcpy(other.m_szName, MakeFolderSemaphoreName("UPDATE", strOther.c_str()));
        ASSERT_EQ(1, other.Acquire(0));
        EXPECT_EQ(KUPDATE_GAME_RUNNING, Run());
        EXPECT_EQ((std::vector<std::string>{"TakeGamePath", "ShowGameRunning(2090)"}), m_FrontEnd.m_Asked);
    }
    // Our own run holds it from the checks to its end, so that a second one is refused.
    m_Installer.m_pXmlDoc->LoadBuff("<Root><FileList><File><FilePath></FilePath><FileName>a.lua</FileName></File>"
                                    "</FileList></Root>");
    WriteFileBytes(m_Dir / "package\\a.lua", "a");
    struct KProbeShell : KRecordingShell {
        int OnInstallBegin() override {
            m_nHeldAtBegin = IsFolderInUse((m_strGamePath + "\\").c_str());
            return KRecordingShell::OnInstallBegin();
        }
        int m_nHeldAtBegin = -1;
    } probe;
    probe.m_pInstaller = &m_Installer;
    probe.m_strPackagePath = m_Dir / "package";
    KTypedFrontEnd frontEnd(&probe);
    frontEnd.m_strTyped = m_strGame;
    m_Worker.m_pShellCtrl = &probe;
    EXPECT_EQ(KUPDATE_STARTED, RunUpdateCommand(&probe, &frontEnd, &m_Worker));
    ASSERT_TRUE(probe.WaitEnded(30000));
    m_Worker.Stop();
    EXPECT_EQ(1, probe.m_nHeldAtBegin);
    EXPECT_EQ(0, IsFolderInUse(m_strGame.c_str()));
    EXPECT_EQ("OnInstallEnd(1)", probe.Calls().back());
}

TEST_F(UpdateCommandTest, WithoutInstallerNothingStarts) {
    m_Shell.m_pInstaller = nullptr;
    EXPECT_EQ(KUPDATE_NO_INSTALLER, Run());
    EXPECT_EQ(std::vector<std::string>{"OnInstallEnd(0)"}, m_Shell.Calls());
}

}  // namespace

namespace {

// One row of the version decision: the game's version.ini (null: none), the package's
// VersionInfos, the player's answer to the reinstall question, and what must follow.
struct KVersionCase {
    const char* pszIni;
    bool bReinstall;
    int nOutcome;
    const char* pszAsked;  // the front end's question, "" for none
    int nLine;             // the refusal line's catalogue id, 0 for none
    const char* pszWritten;  // version.ini afterwards, for an installation; null: unchanged
};

std::string s_VersionInfo(const char* pszApplication, const char* pszVersion, const char* pszBase = nullptr) {
    return std::string("<VersionInfo><Application>") + pszApplication + "</Application><Version>" + pszVersion +
           "</Version>" + (pszBase ? std::string("<BaseVersion>") + pszBase + "</BaseVersion>" : "") + "</VersionInfo>";
}

}  // namespace

TEST_F(UpdateCommandTest, PackageVersionsAgainstTheGamesDecideInDocumentOrder) {
    const std::string strV13 = s_VersionInfo("velmora.exe", "1.3");
    const std::string strV13On12 = s_VersionInfo("velmora.exe", "1.3", "1.2");
    const std::string strOther = s_VersionInfo("game.exe", "2.0", "1.9");
    const char* pszG12 = "[Version]\r\nvelmora.exe=1.2\r\n";
    const char* pszWrote13 = "[Version]\r\nvelmora.exe=1.3\r\n";
    const std::string aXml[] = {strV13, strV13On12, strV13 + strOther, s_VersionInfo("velmora.exe", "1.3.x"),
                                s_VersionInfo("velmora.exe", "1.3", "1.4"), s_VersionInfo("velmora.exe", "1.3", "v1.2"),
                                strV13 + s_VersionInfo("Velmora.EXE", "1.4")};
    enum { V13, V13_ON_12, V13_AND_OTHER, V_FAULTY, BASE_NEWER, BASE_FAULTY, V_TWICE };
    const struct {
        KVersionCase c;
        int nXml;
    } aCases[] = {
        // No version.ini: a cumulative package installs, one for a base version cannot be judged.
        {{nullptr, false, KUPDATE_STARTED, "", 0, "[Version]\r\nvelmora.exe=1.3\r\n"}, V13},
        {{nullptr, false, KUPDATE_VERSION_REFUSED, "", 2001, nullptr}, V13_ON_12},
        {{"[Version]\r\ngame.exe=1.0\r\n", false, KUPDATE_VERSION_REFUSED, "", 2001, nullptr}, V13_ON_12},
        {{"[Version]\r\nvelmora.exe=1.x\r\n", false, KUPDATE_VERSION_REFUSED, "", 2001, nullptr}, V13},
        {{"[Version]\r\nvelmora.exe=1.4\r\n", false, KUPDATE_VERSION_REFUSED, "", 2007, nullptr}, V13},
        {{"[Version]\r\nvelmora.exe=1.3.0.0\r\n", false, KUPDATE_VERSION_REFUSED, "ConfirmReinstall", 0, nullptr}, V13},
        {{"[Version]\r\nvelmora.exe=1.3.0.0\r\n", true, KUPDATE_STARTED, "ConfirmReinstall", 0, "[Version]\r\nvelmora.exe=1.3\r\n"}, V13},
        {{"[Version]\r\nvelmora.exe=1.1\r\n", false, KUPDATE_VERSION_REFUSED, "OfferGameUpdater", 0, nullptr}, V13_ON_12},
        {{"[Version]\r\nvelmora.exe=1.2.5\r\n", false, KUPDATE_VERSION_REFUSED, "", 2003, nullptr}, V13_ON_12},
        {{pszG12, false, KUPDATE_STARTED, "", 0, pszWrote13}, V13_ON_12},
        {{pszG12, false, KUPDATE_STARTED, "", 0, pszWrote13}, V13},
        // The first refusal wins: the second application's missing key after the first fits.
        {{pszG12, false, KUPDATE_VERSION_REFUSED, "", 2001, nullptr}, V13_AND_OTHER},
        // Even after the player chose to reinstall the first.
        {{"[Version]\r\nvelmora.exe=1.3\r\n", true, KUPDATE_VERSION_REFUSED, "ConfirmReinstall", 2001, nullptr}, V13_AND_OTHER},
        {{pszG12, false, KUPDATE_DESCRIPTION_FAULTY, "", 2002, nullptr}, V_FAULTY},
        {{pszG12, false, KUPDATE_DESCRIPTION_FAULTY, "", 2002, nullptr}, BASE_NEWER},
        {{pszG12, false, KUPDATE_DESCRIPTION_FAULTY, "", 2002, nullptr}, BASE_FAULTY},
        // One key of version.ini, in any letter case, cannot take two versions.
        {{pszG12, false, KUPDATE_DESCRIPTION_FAULTY, "", 2002, nullptr}, V_TWICE},
    };
    const std::string strIni = m_strGame + "\\version.ini";
    for (size_t i = 0; i < sizeof(aCases) / sizeof(aCases[0]); ++i) {
        const KVersionCase& row = aCases[i].c;
        SCOPED_TRACE(i);
        DeleteFileA(strIni.c_str());
        if (row.pszIni)
            ASSERT_TRUE(WriteFileBytes(strIni, row.pszIni));
        m_Installer.m_pXmlDoc->LoadBuff(("<Root><VersionInfoList>" + aXml[aCases[i].nXml] + "</VersionInfoList></Root>").c_str());
        KRecordingShell shell;
        shell.m_pInstaller = &m_Installer;
        shell.m_strPackagePath = m_Dir / "package";
        KTypedFrontEnd frontEnd(&shell);
        frontEnd.m_strTyped = m_strGame;
        frontEnd.m_bReinstall = row.bReinstall;
        m_Worker.m_pShellCtrl = &shell;

        EXPECT_EQ(row.nOutcome, RunUpdateCommand(&shell, &frontEnd, &m_Worker));
        if (row.nOutcome == KUPDATE_STARTED) {
            ASSERT_TRUE(shell.WaitEnded(30000));
            m_Worker.Stop();
            EXPECT_EQ("OnInstallEnd(1)", shell.Calls().back());
            EXPECT_EQ(std::string(u8"·升级完成，可以进入游戏。"), shell.Lines().at(shell.Lines().size() - 2));
        } else {
            EXPECT_EQ("OnInstallEnd(0)", shell.Calls().back());
        }
        std::vector<std::string> asked(frontEnd.m_Asked.begin() + 1, frontEnd.m_Asked.end());  // after TakeGamePath
        EXPECT_EQ(row.pszAsked[0] ? std::vector<std::string>{row.pszAsked} : std::vector<std::string>(), asked);
        std::vector<std::string> lines = shell.Lines();
        if (row.nLine)
            EXPECT_EQ(std::vector<std::string>{GetString(row.nLine)}, lines);
        else if (row.nOutcome != KUPDATE_STARTED)
            EXPECT_TRUE(lines.empty());
        bool bOk = false;
        std::string strAfter = mwtest::ReadFileBytes(strIni, &bOk);
        if (row.pszWritten)
            EXPECT_EQ(row.pszWritten, strAfter);
        else
            EXPECT_EQ(row.pszIni ? row.pszIni : "", strAfter);
        EXPECT_FALSE(FileExists(m_strGame + "\\.mendwright"));
    }
}
