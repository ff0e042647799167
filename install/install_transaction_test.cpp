// The transactional installation through the worker: refusals touch nothing, failures and stops
// put everything back, every crash point recovers to the folder before or after the run.
#include "install/install_transaction.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/sha256.h"
#include "core/update_installer.h"
#include "core/win_text.h"
#include "install/install_worker.h"
#include "install/package_rules.h"
#include "pack_check.h"
#include "pack_format.h"
#include "tests/recording_shell.h"
#include "tests/test_support.h"
#include "xml/xml_document.h"

using mwtest::FileExists;
using mwtest::ReadFileBytes;
using mwtest::KRecordingShell;
using mwtest::KTempDir;
using mwtest::MakeFolders;
using mwtest::RemoveTree;
using mwtest::TreeSnapshot;
using mwtest::WriteFileBytes;

namespace {

typedef std::map<std::string, std::string> KTree;

const std::string s_strRestored = std::string(u8"·安装没有完成，游戏目录已恢复原状。");

std::string s_File(const std::string& strPath, const std::string& strName, const char* pszSha256 = nullptr) {
    return "<File><FilePath>" + strPath + "</FilePath><FileName>" + strName + "</FileName>" +
           (pszSha256 ? "<FileSha256>" + std::string(pszSha256) + "</FileSha256>" : std::string()) + "</File>";
}

std::string s_Sha256(const std::string& strBytes) {
    KSha256 digest;
    digest.Update(strBytes.data(), strBytes.size());
    return digest.FinishHex();
}

std::string s_Upper(std::string strText) {
    for (char& ch : strText)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return strText;
}

std::string s_Description(const std::string& strFiles) {
    return "<Root><AppTitle>T</AppTitle><FileList>" + strFiles + "</FileList></Root>";
}

// The package's four files, in the order listed.

const std::string s_strPackageFiles = s_File("interface\\ui\\", "main.lua") + s_File("\\", "keep.txt") +
                                      s_File("data\\new\\", "deep.dat") + s_File("", "readme.txt");

// The package's files and one Delete of strPath.
std::string s_WithDelete(const std::string& strPath) {
    return "<Root><AppTitle>T</AppTitle><FileList>" + s_strPackageFiles + "</FileList><DeleteList><Delete><Path>" + strPath +
           "</Path></Delete></DeleteList></Root>";
}

class InstallTransactionTest : public ::testing::Test {
protected:
    InstallTransactionTest() : m_strGame(m_Dir / "game"), m_strPackage(m_Dir / "package") {
        Package("interface\\ui\\main.lua", "main");
        Package("keep.txt", "new keep");
        SetFileAttributesA((m_strPackage + "\\keep.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        Package("data\\new\\deep.dat", "deep");
        Package("readme.txt", "readme");
        MakeGame();
        m_Before = TreeSnapshot(m_strGame);
    }
    // The player's game folder: old plug-ins with a read-only file, a read-only file the package
    // replaces, a folder the package adds to.
    void MakeGame() {
        RemoveTree(m_strGame);
        MakeFolders(m_strGame + "\\interface\\old");
        MakeFolders(m_strGame + "\\interface2");
        MakeFolders(m_strGame + "\\data");
        WriteFileBytes(m_strGame + "\\velmora.exe", "launcher");
        WriteFileBytes(m_strGame + "\\interface\\old\\stale.lua", "stale");
        SetFileAttributesA((m_strGame + "\\interface\\old\\stale.lua").c_str(), FILE_ATTRIBUTE_READONLY);
        WriteFileBytes(m_strGame + "\\interface2\\x.lua", "x");
        WriteFileBytes(m_strGame + "\\keep.txt", "old keep");
        SetFileAttributesA((m_strGame + "\\keep.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        WriteFileBytes(m_strGame + "\\data\\existing.dat", "existing");
    }
    void Package(const std::string& strRelative, const std::string& strBytes) {
        size_t uSlash = strRelative.rfind('\\');
        if (uSlash != std::string::npos)
            MakeFolders(m_strPackage + "\\" + strRelative.substr(0, uSlash));
        WriteFileBytes(m_strPackage + "\\" + strRelative, strBytes);
    }
    // Starts one installation of strXml, reported to pShell (owned; null: a plain recording one);
    // RunToEnd or Stop ends it.
    void Start(const std::string& strXml, KRecordingShell* pShell = nullptr) {
        m_pShell.reset(pShell ? pShell : new KRecordingShell);
        m_Installer.reset(new KUpdateInstaller);
        m_Installer->m_pXmlDoc = CreateXMLDocument(0, "gbk");
        ASSERT_TRUE(m_Installer->m_pXmlDoc->LoadBuff(strXml.c_str()));
        m_pShell->m_strGamePath = m_strGame;
        m_pShell->m_strPackagePath = m_strPackage;
        m_pShell->m_pInstaller = m_Installer.get();
        m_pWorker.reset(new KInstallWorker);
        m_pWorker->m_pShellCtrl = m_pShell.get();
        ASSERT_EQ(1, m_pWorker->Start());
    }
    // Runs until the worker reached an end point (with or without OnInstallEnd); the lines.
    std::vector<std::string> RunToEnd(const std::string& strXml, KRecordingShell* pShell = nullptr) {
        Start(strXml, pShell);
        for (int i = 0; i < 6000 && !m_pWorker->m_bFinished; ++i)
            Sleep(5);
        m_pWorker->Stop();
        return m_pShell->Lines();
    }
    std::string LastCall() { return m_pShell->Calls().back(); }

    KTempDir m_Dir;
    std::string m_strGame;
    std::string m_strPackage;
    KTree m_Before;
    std::unique_ptr<KRecordingShell> m_pShell;
    std::unique_ptr<KUpdateInstaller> m_Installer;
    std::unique_ptr<KInstallWorker> m_pWorker;
};

TEST_F(InstallTransactionTest, SuccessLeavesExactlyTheInstalledFilesAndNoWorkingFolder) {
    // Digests in either case: upper case as other tools write them.
    std::string strUpper = s_Upper(s_Sha256("readme"));
    std::vector<std::string> lines = RunToEnd(s_Description(s_File("interface\\ui\\", "main.lua", s_Sha256("main").c_str()) +
                                                            s_File("\\", "keep.txt") + s_File("data\\new\\", "deep.dat") +
                                                            s_File("", "readme.txt", strUpper.c_str())));
    EXPECT_EQ("OnInstallEnd(1)", LastCall());
    EXPECT_EQ(std::string(u8"·文件复制完成。"), lines.at(lines.size() - 2));
    KTree expected = {
        {"velmora.exe", "file rw launcher"},   {"data", "dir"},
        {"data\\existing.dat", "file rw existing"}, {"data\\new", "dir"},
        {"data\\new\\deep.dat", "file rw deep"}, {"interface", "dir"},
        {"interface\\ui", "dir"},               {"interface\\ui\\main.lua", "file rw main"},
        // A read-only package file is installed writable: the next update must be able to replace it.
        {"keep.txt", "file rw new keep"},       {"readme.txt", "file rw readme"},
    };
    EXPECT_EQ(expected, TreeSnapshot(m_strGame));
}

TEST_F(InstallTransactionTest, DeepPluginFilesUnderALongGameFolderInstallTwiceInARow) {
    // A game folder of 185 characters, a player's plug-in file of 246: set aside in the working
    // folder it is longer than MAX_PATH, and the commit must still remove it whole.
    size_t uPad = 185 - (m_Dir / "").size();
    ASSERT_LT(uPad, 200u);
    m_strGame = m_Dir / std::string(uPad, 'g');
    ASSERT_EQ(185u, m_strGame.size());
    MakeGame();
    std::string strDeep = m_strGame + "\\interface\\deep\\" + std::string(246 - m_strGame.size() - 20, 'p') + ".lua";
    ASSERT_EQ(246u, strDeep.size());
    ASSERT_TRUE(MakeFolders(m_strGame + "\\interface\\deep"));
    ASSERT_TRUE(WriteFileBytes(strDeep, "deep plug-in"));
    for (int nRun = 1; nRun <= 2; ++nRun) {
        RunToEnd(s_Description(s_strPackageFiles));
        EXPECT_EQ("OnInstallEnd(1)", LastCall()) << "run " << nRun;
        EXPECT_FALSE(FileExists(m_strGame + "\\" WORK_FOLDER_NAME)) << "run " << nRun;
        EXPECT_TRUE(FileExists(m_strGame + "\\interface\\ui\\main.lua")) << "run " << nRun;
    }
    EXPECT_FALSE(FileExists(strDeep));
}

TEST_F(InstallTransactionTest, RefusalsTouchNothingAndSayWhyInOneLine) {
    struct KCase {
        std::string strXml;
        std::string strLine;
    };
    MakeFolders(m_strPackage + "\\folder.lua");
    Package("extra.txt", "extra");
    MakeFolders(m_strGame + "\\extra.txt");
    m_Before = TreeSnapshot(m_strGame);
    // The working folder's short name, as the file system gives it to a folder of that name.
    std::string strProbe = m_Dir / "probe\\" WORK_FOLDER_NAME;
    MakeFolders(strProbe);
    wchar_t wszShort[MAX_PATH] = {0};
    ASSERT_NE(0u, GetShortPathNameW(Utf8ToWide(strProbe).c_str(), wszShort, MAX_PATH));
    std::string strShort = WideToUtf8(wszShort);
    strShort = strShort.substr(strShort.rfind('\\') + 1);
    Package(strShort + "\\done", "done");
    ASSERT_NE(std::string(WORK_FOLDER_NAME), strShort);
    const std::string strDigestWrong = std::string(u8"·升级包中文件readme.txt的校验值有误，请重新下载升级包。");
    const KCase aCases[] = {
        {"<Root/>", std::string(u8"·文件复制错误，请重试或重新下载升级包。")},
        {s_Description(""), std::string(u8"·文件复制错误，请重试或重新下载升级包。")},
        {s_Description(s_strPackageFiles + "<File><FilePath>x\\</FilePath></File>"),
         std::string(u8"·配置文件有误，不能进行升级，请重新下载升级包。")},
        {s_Description(s_strPackageFiles + s_File("..\\", "evil.txt")), std::string(u8"·复制..\\evil.txt时出错！（错误号：123）")},
        {s_Description(s_File("", "what?.lua") + s_strPackageFiles), std::string(u8"·复制what?.lua时出错！（错误号：123）")},
        // A FileName ending in a separator names the folder, not a file (a reference gives one too).
        {s_Description(s_strPackageFiles + s_File("", "readme.txt&#x2F;")), std::string(u8"·复制readme.txt/时出错！（错误号：123）")},
        {s_Description(s_strPackageFiles + s_File(".mendwright\\", "journal")),
         std::string(u8"·复制.mendwright\\journal时出错！（错误号：123）")},
        // The working folder as the system resolves names: trailing dots and spaces, "." levels,
        // case, and its short name once it exists.
        {s_Description(s_strPackageFiles + s_File(".mendwright.\\", "done")),
         std::string(u8"·复制.mendwright.\\done时出错！（错误号：123）")},
        {s_Description(s_File(".\\.MENDWRIGHT \\", "journal") + s_strPackageFiles),
         std::string(u8"·复制.\\.MENDWRIGHT \\journal时出错！（错误号：123）")},
        {s_Description(s_strPackageFiles + s_File(strShort + "\\", "done")),
         std::string(u8"·复制") + strShort + std::string(u8"\\done时出错！（错误号：123）")},
        {s_Description(s_strPackageFiles + s_File("\\", "extra.txt")),
         std::string(u8"·复制\\extra.txt时出错！（错误：目标位置已有同名文件夹）")},
        // Digests no copy could match: empty, one digit short, not hex.
        {s_Description(s_File("", "readme.txt", "") + s_strPackageFiles), strDigestWrong},
        {s_Description(s_File("", "readme.txt", s_Sha256("readme").substr(1).c_str())), strDigestWrong},
        {s_Description(s_File("", "readme.txt", std::string(64, 'g').c_str())), strDigestWrong},
        {s_Description(s_strPackageFiles + s_File("\\", "missing.lua")), std::string(u8"·升级包中缺少文件\\missing.lua，请重新下载升级包。")},
        {s_Description(s_strPackageFiles + s_File("", "folder.lua")), std::string(u8"·升级包中缺少文件folder.lua，请重新下载升级包。")},
        // Deletions that would take what the run writes, the game's own files, or leave the folder.
        {s_WithDelete("data\\"),
         std::string(u8"·配置文件有误，不能进行升级，请重新下载升级包。")},
        {s_WithDelete("VELMORA.EXE"),
         std::string(u8"·配置文件有误，不能进行升级，请重新下载升级包。")},
        {s_WithDelete("..\\x.dll"),
         std::string(u8"·复制..\\x.dll时出错！（错误号：123）")},
    };
    for (const KCase& oneCase : aCases) {
        SCOPED_TRACE(oneCase.strXml);
        std::vector<std::string> lines = RunToEnd(oneCase.strXml);
        ASSERT_EQ(3u, lines.size());
        EXPECT_EQ(oneCase.strLine, lines[2]);
        EXPECT_EQ("OnInstallEnd(0)", LastCall());
        EXPECT_EQ(m_Before, TreeSnapshot(m_strGame));
    }
}

TEST_F(InstallTransactionTest, FailureAtAnyFilePutsEverythingBack) {
    // The first, a middle and the last file fail: a destination another program holds open
    // without sharing, and a plain file where a folder belongs.
    const std::string strInUse = std::string(u8"·复制\\keep.txt时出错！（错误：文件正在使用）");
    const std::string strNoFolder = std::string(u8"·复制 ") + m_strGame + std::string(u8"\\data\\new\\deep.dat 时出错！（错误：创建子目录失败）");
    struct KCase {
        std::string strFiles;
        std::string strError;
        bool bHold;
    };
    const KCase aCases[] = {
        {s_File("\\", "keep.txt") + s_File("", "readme.txt"), strInUse, true},
        {s_strPackageFiles, strInUse, true},
        {s_File("interface\\ui\\", "main.lua") + s_File("\\", "keep.txt") + s_File("", "readme.txt") +
             s_File("data\\new\\", "deep.dat"),
         strNoFolder, false},
    };
    for (const KCase& oneCase : aCases) {
        SCOPED_TRACE(oneCase.strError);
        MakeGame();
        if (!oneCase.bHold)
            WriteFileBytes(m_strGame + "\\data\\new", "a file");
        KTree before = TreeSnapshot(m_strGame);
        HANDLE hHeld = oneCase.bHold ? CreateFileA((m_strGame + "\\keep.txt").c_str(), GENERIC_READ, 0, nullptr,
                                                   OPEN_EXISTING, 0, nullptr)
                                     : INVALID_HANDLE_VALUE;
        std::vector<std::string> lines = RunToEnd(s_Description(oneCase.strFiles));
        if (hHeld != INVALID_HANDLE_VALUE)
            CloseHandle(hHeld);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(oneCase.strError, lines[lines.size() - 3]);
        EXPECT_EQ(std::string(u8"失败，请重试或重新下载升级包。"), lines[lines.size() - 2]);
        EXPECT_EQ(s_strRestored, lines.back());
        EXPECT_EQ("OnInstallEnd(0)", LastCall());
        EXPECT_EQ(before, TreeSnapshot(m_strGame));
    }
}

TEST_F(InstallTransactionTest, StopDuringAHugeFileRestoresWithinASecond) {
    HANDLE hBig = CreateFileA((m_strPackage + "\\huge.pak").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hBig);
    LARGE_INTEGER size;
    size.QuadPart = 1LL << 30;
    ASSERT_TRUE(SetFilePointerEx(hBig, size, nullptr, FILE_BEGIN) && SetEndOfFile(hBig));
    CloseHandle(hBig);
    Start(s_Description(s_strPackageFiles + s_File("", "huge.pak")));
    const std::string strHugeLine = std::string(u8"·正在复制文件：huge.pak");
    for (int i = 0; i < 3000; ++i) {
        std::vector<std::string> lines = m_pShell->Lines();
        if (!lines.empty() && lines.back().find(m_strGame) == 0 && lines[lines.size() - 2] == strHugeLine)
            break;
        Sleep(2);
    }
    Sleep(50);
    DWORD uStart = GetTickCount();
    m_pWorker->Stop();
    EXPECT_LT(GetTickCount() - uStart, 1000u);
    std::vector<std::string> lines = m_pShell->Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::string(u8"·安装已取消。"), lines[lines.size() - 2]);
    EXPECT_EQ(s_strRestored, lines.back());
    EXPECT_EQ(m_Before, TreeSnapshot(m_strGame));
}

TEST_F(InstallTransactionTest, EveryCrashPointRecoversToTheFolderBeforeOrAfter) {
    RunToEnd(s_Description(s_strPackageFiles));
    const KTree after = TreeSnapshot(m_strGame);
    int nUndone = 0, nCompleted = 0;
    for (int nSteps = 0;; ++nSteps) {
        SCOPED_TRACE(nSteps);
        MakeGame();
        g_nInstallStepsLeft = nSteps;
        RunToEnd(s_Description(s_strPackageFiles));
        g_nInstallStepsLeft = -1;
        bool bCompleted = m_pShell->Count("OnInstallEnd(1)") == 1;
        KRecordingShell recovering;
        int nRecovery = RecoverInterruptedInstall(m_strGame.c_str(), &recovering);
        KTree now = TreeSnapshot(m_strGame);
        EXPECT_TRUE(now == m_Before || now == after);
        if (nRecovery == KRECOVERY_UNDONE) {
            ++nUndone;
            EXPECT_EQ(m_Before, now);
            EXPECT_EQ(std::vector<std::string>{std::string(u8"·发现上次没有完成的安装，游戏目录已恢复原状。")}, recovering.Lines());
        } else if (nRecovery == KRECOVERY_COMPLETED) {
            ++nCompleted;
            EXPECT_EQ(after, now);
            EXPECT_EQ(std::vector<std::string>{std::string(u8"·发现上次已完成的安装，已清理其临时文件。")}, recovering.Lines());
        } else {
            EXPECT_EQ(KRECOVERY_NONE, nRecovery);
        }
        if (bCompleted)
            break;
        ASSERT_LT(nSteps, 100);
    }
    EXPECT_GE(nUndone, 8);
    EXPECT_GE(nCompleted, 1);
}

TEST_F(InstallTransactionTest, DamagedJournalIsReportedAndNothingIsTouched) {
    // A path out of the game folder, and one into the working folder itself.
    for (const char* pszEntry : {"F\tN\t..\\..\\outside\n", "F\tN\t.mendwright.\\journal\n"}) {
        SCOPED_TRACE(pszEntry);
        MakeFolders(m_strGame + "\\.mendwright");
        WriteFileBytes(m_strGame + "\\.mendwright\\journal", std::string("MENDWRIGHT JOURNAL 1\n") + pszEntry);
        KTree before = TreeSnapshot(m_strGame);
        KRecordingShell recovering;
        EXPECT_EQ(KRECOVERY_FAILED, RecoverInterruptedInstall(m_strGame.c_str(), &recovering));
        ASSERT_EQ(1u, recovering.Lines().size());
        EXPECT_EQ(0u, recovering.Lines()[0].find(std::string(u8"·发现上次没有完成的安装，但安装记录已损坏")));
        EXPECT_EQ(before, TreeSnapshot(m_strGame));
    }
}

std::string s_Packs(const std::string& strPacks) {
    return "<PackList>" + strPacks + "</PackList>";
}

std::string s_PackEntry(const std::string& strSource, const std::string& strTarget, const std::string& strSha = "") {
    return "<Pack><Source>" + strSource + "</Source><Target>" + strTarget + "</Target>" +
           (strSha.empty() ? "" : "<SourceSha256>" + strSha + "</SourceSha256>") + "</Pack>";
}

const std::string s_strVersion13 =
    "<VersionInfoList><VersionInfo><Application>velmora.exe</Application><Version>1.3</Version>"
    "</VersionInfo></VersionInfoList>";
const std::string s_strArtPack = s_PackEntry("art\\patch.pak", "data\\art.pak");

// The game has an art pack and its version; the package a pack to merge into it and Cobblepak.dll.
class InstallPackTest : public InstallTransactionTest {
protected:
    InstallPackTest() {
        Package("art\\patch.pak", mwtest::PackBytes(150, 50, 'p'));  // 25 keys replaced, 25 new
        CopyFileA((mwtest::ProgramFolder() + "\\Cobblepak.dll").c_str(), (m_strPackage + "\\Cobblepak.dll").c_str(), FALSE);
        MakeGameWithPack();
    }
    void MakeGameWithPack() {
        MakeGame();
        WriteFileBytes(m_strGame + "\\data\\art.pak", mwtest::PackBytes(0, 100, 'g'));
        WriteFileBytes(m_strGame + "\\version.ini", "[Version]\r\nvelmora.exe=1.2\r\n");
        m_Before = TreeSnapshot(m_strGame);
    }
    std::string Xml(const std::string& strPacks) {
        return "<Root><AppTitle>T</AppTitle>" + s_strVersion13 + "<FileList>" + s_strPackageFiles + "</FileList>" +
               strPacks + "</Root>";
    }
};

TEST_F(InstallPackTest, MergedPackAndVersionsAreInstalled) {
    // A SourceSha256 in upper case, as other tools write digests. A second pack is merged by a
    // child of its own, after the one the run's try of the library started.
    std::string strDigest = s_Upper(s_Sha256(ReadFileBytes(m_strPackage + "\\art\\patch.pak")));
    Package("art\\more.pak", mwtest::PackBytes(500, 7, 'q'));
    WriteFileBytes(m_strGame + "\\data\\more.pak", mwtest::PackBytes(0, 3, 'h'));
    std::vector<std::string> lines = RunToEnd(Xml(s_Packs(s_PackEntry("art\\patch.pak", "data\\art.pak", strDigest) +
                                                          s_PackEntry("art\\more.pak", "data\\more.pak"))));
    EXPECT_EQ("OnInstallEnd(1)", LastCall());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(std::string(u8"·正在处理资源文件，请稍等..."), lines[lines.size() - 4]);
    EXPECT_EQ(std::string(u8"·文件复制完成。"), lines[lines.size() - 3]);
    EXPECT_EQ(std::string(u8"·升级完成，可以进入游戏。"), lines[lines.size() - 2]);
    std::string strReason;
    EXPECT_TRUE(cobblepak::CheckPackFile((m_strGame + "\\data\\art.pak").c_str(), strReason)) << strReason;
    std::string strMerged = ReadFileBytes(m_strGame + "\\data\\art.pak");
    EXPECT_EQ(125u, cobblepak::DecodePackHeader(reinterpret_cast<const std::uint8_t*>(strMerged.data())).uEntryCount);
    std::string strMore = ReadFileBytes(m_strGame + "\\data\\more.pak");
    EXPECT_EQ(10u, cobblepak::DecodePackHeader(reinterpret_cast<const std::uint8_t*>(strMore.data())).uEntryCount);
    EXPECT_EQ("[Version]\r\nvelmora.exe=1.3\r\n", ReadFileBytes(m_strGame + "\\version.ini"));
    EXPECT_FALSE(FileExists(m_strGame + "\\.mendwright"));
}

TEST_F(InstallPackTest, AFaultyLibraryFailsTheRunAndTheGameFolderIsPutBack) {
    CopyFileA((mwtest::ProgramFolder() + "\\faulty_cobblepak.dll").c_str(), (m_strPackage + "\\Cobblepak.dll").c_str(), FALSE);
    // Crashes after appending 1 MiB; reports success over a broken header, or without merging;
    // reports failure.
    for (const char* pszFault : {"crash", "header", "nothing", "refuse"}) {
        SCOPED_TRACE(pszFault);
        MakeGameWithPack();
        SetEnvironmentVariableA("COBBLEPAK_FAULT", pszFault);
        std::vector<std::string> lines = RunToEnd(Xml(s_Packs(s_strArtPack)));
        SetEnvironmentVariableA("COBBLEPAK_FAULT", nullptr);
        EXPECT_EQ("OnInstallEnd(0)", LastCall());
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(std::string(u8"·正在处理资源文件，请稍等..."), lines[lines.size() - 3]);
        EXPECT_EQ(std::string(u8"Cobblepak.dll调用失败，请重试或重新下载升级包。"), lines[lines.size() - 2]);
        EXPECT_EQ(s_strRestored, lines.back());
        EXPECT_EQ(m_Before, TreeSnapshot(m_strGame));
    }
}

// A Cobblepak.dll without PackComb (here a library that exports none) is found out by the first
// merge's child before the run's first change: the failure line alone, nothing touched.
TEST_F(InstallPackTest, ALibraryWithoutPackCombTouchesNothing) {
    CopyFileA((mwtest::ProgramFolder() + "\\engine.dll").c_str(), (m_strPackage + "\\Cobblepak.dll").c_str(), FALSE);
    std::vector<std::string> lines = RunToEnd(Xml(s_Packs(s_strArtPack)));
    EXPECT_EQ("OnInstallEnd(0)", LastCall());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(std::string(u8"Cobblepak.dll调用失败，请重试或重新下载升级包。"), lines.back());
    EXPECT_EQ(m_Before, TreeSnapshot(m_strGame));
}

TEST_F(InstallPackTest, FilesInUseAreNamedAndNothingIsTouched) {
    const std::string strInUse = u8"正被其他程序使用，请关闭游戏或占用该文件的程序后重试。";
    struct KCase {
        const char* pszFile;
        DWORD dwShare;  // how the other program holds it: as the game holds its packs, or not shared
    };
    const KCase aCases[] = {{"data\\art.pak", FILE_SHARE_READ}, {"data\\art.pak", 0}, {"version.ini", FILE_SHARE_READ}, {"version.ini", 0}};
    for (const KCase& oneCase : aCases) {
        SCOPED_TRACE(std::string(oneCase.pszFile) + " " + std::to_string(oneCase.dwShare));
        std::string strFile = m_strGame + "\\" + oneCase.pszFile;
        HANDLE hHeld = CreateFileA(strFile.c_str(), GENERIC_READ, oneCase.dwShare, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
        std::vector<std::string> lines = RunToEnd(Xml(s_Packs(s_strArtPack)));
        CloseHandle(hHeld);
        EXPECT_EQ("OnInstallEnd(0)", LastCall());
        ASSERT_EQ(3u, lines.size());
        EXPECT_EQ(std::string(u8"·文件") + strFile + strInUse, lines[2]);
        EXPECT_EQ(m_Before, TreeSnapshot(m_strGame));
    }

    // Taken by another program once the run has begun: the run fails there and puts back only
    // what it changed, so version.ini, never written, is left alone.
    struct KHoldingShell : KRecordingShell {
        int AddMessage(const char* pszText) override {
            if (!m_hHeld && std::string(pszText) == std::string(u8"·正在处理资源文件，请稍等..."))
                m_hHeld = CreateFileA(m_strFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            return KRecordingShell::AddMessage(pszText);
        }
        std::string m_strFile;
        HANDLE m_hHeld = nullptr;
    };
    for (const char* pszFile : {"version.ini", "data\\art.pak"}) {
        SCOPED_TRACE(pszFile);
        KHoldingShell* pShell = new KHoldingShell;
        pShell->m_strFile = m_strGame + "\\" + pszFile;
        std::vector<std::string> lines = RunToEnd(Xml(s_Packs(s_strArtPack)), pShell);
        ASSERT_NE(INVALID_HANDLE_VALUE, pShell->m_hHeld);
        CloseHandle(pShell->m_hHeld);
        EXPECT_EQ("OnInstallEnd(0)", LastCall());
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(std::string(u8"·文件") + pShell->m_strFile + strInUse, lines[lines.size() - 2]);
        EXPECT_EQ(s_strRestored, lines.back());
        EXPECT_EQ(m_Before, TreeSnapshot(m_strGame));
    }
}

TEST_F(InstallPackTest, PackRefusalsTouchNothingAndSayWhyInOneLine) {
    Package("art\\short.pak", mwtest::PackBytes(1, 50, 'p').substr(0, 300));
    Package("art\\unsorted.pak", mwtest::PackBytes(1, 50, 'p').replace(32 + 400, 4, std::string("\xff\xff\0\0", 4)));
    const std::string strDigest = std::string(64, 'a');
    const std::string strFaulty = std::string(u8"·配置文件有误，不能进行升级，请重新下载升级包。");
    const std::string strSourceDamaged = std::string(u8"·升级包中的资源文件art\\short.pak已损坏，请重新下载升级包。");
    struct KCase {
        std::string strPacks;
        std::string strLine;
        bool bNoLibrary;
    };
    const KCase aCases[] = {
        {s_Packs(s_PackEntry("art\\short.pak", "data\\art.pak")), strSourceDamaged, false},
        {s_Packs(s_PackEntry("art\\unsorted.pak", "data\\art.pak")),
         std::string(u8"·升级包中的资源文件art\\unsorted.pak已损坏，请重新下载升级包。"), false},
        {s_Packs(s_PackEntry("art\\patch.pak", "data\\art.pak", strDigest)),
         std::string(u8"·升级包中的资源文件art\\patch.pak已损坏，请重新下载升级包。"), false},
        {s_Packs(s_PackEntry("art\\none.pak", "data\\art.pak")), std::string(u8"·升级包中缺少文件art\\none.pak，请重新下载升级包。"), false},
        {s_Packs(s_PackEntry("art\\patch.pak", "data\\existing.dat")),
         std::string(u8"·游戏资源文件data\\existing.dat不存在或已损坏，请检查游戏路径或重新安装游戏。"), false},
        {s_Packs(s_PackEntry("art\\patch.pak", "..\\art.pak")), std::string(u8"·复制..\\art.pak时出错！（错误号：123）"), false},
        {s_Packs(s_PackEntry("art\\patch.pak", "readme.txt")), strFaulty, false},
        // A File's destination however the Target spells it, and a plug-in folder's file.
        {s_Packs(s_PackEntry("art\\patch.pak", "README.TXT")), strFaulty, false},
        {s_Packs(s_PackEntry("art\\patch.pak", "data/new/deep.dat")), strFaulty, false},
        {s_Packs(s_PackEntry("art\\patch.pak", "data\\.\\new\\deep.dat")), strFaulty, false},
        {s_Packs(s_PackEntry("art\\patch.pak", "interface\\skin.pak")), strFaulty, false},
        {s_Packs(s_PackEntry("art\\patch.pak", "Interface2\\skin.pak")), strFaulty, false},
        {s_Packs(s_PackEntry("art\\patch.pak", "")), strFaulty, false},
        {s_Packs(s_PackEntry("art\\patch.pak", "data\\art.pak", "ABC")), strFaulty, false},
        {s_Packs(s_PackEntry("art\\patch.pak", "data\\art.pak", std::string(63, 'A') + "G")), strFaulty, false},
        {s_Packs(s_strArtPack), std::string(u8"Cobblepak.dll不存在，请重新下载升级包"), true},
    };
    for (const KCase& oneCase : aCases) {
        SCOPED_TRACE(oneCase.strPacks);
        if (oneCase.bNoLibrary)
            DeleteFileA((m_strPackage + "\\Cobblepak.dll").c_str());
        std::vector<std::string> lines = RunToEnd(Xml(oneCase.strPacks));
        ASSERT_EQ(3u, lines.size());
        EXPECT_EQ(oneCase.strLine, lines[2]);
        EXPECT_EQ("OnInstallEnd(0)", LastCall());
        EXPECT_EQ(m_Before, TreeSnapshot(m_strGame));
    }
}

TEST_F(InstallPackTest, EveryCrashPointWithPacksRecoversToTheFolderBeforeOrAfter) {
    const std::string strXml = Xml(s_Packs(s_strArtPack + s_strArtPack));
    RunToEnd(strXml);
    const KTree after = TreeSnapshot(m_strGame);
    ASSERT_NE(m_Before, after);
    int nUndone = 0;
    for (int nSteps = 0;; ++nSteps) {
        SCOPED_TRACE(nSteps);
        MakeGameWithPack();
        g_nInstallStepsLeft = nSteps;
        RunToEnd(strXml);
        g_nInstallStepsLeft = -1;
        bool bCompleted = m_pShell->Count("OnInstallEnd(1)") == 1;
        KRecordingShell recovering;
        if (RecoverInterruptedInstall(m_strGame.c_str(), &recovering) == KRECOVERY_UNDONE)
            ++nUndone;
        KTree now = TreeSnapshot(m_strGame);
        EXPECT_TRUE(now == m_Before || now == after);
        if (bCompleted)
            break;
        ASSERT_LT(nSteps, 100);
    }
    EXPECT_GE(nUndone, 12);
}

}  // namespace
