// mendwright-cli as a process: its standard output, standard error and exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/update_installer.h"
#include "core/update_semaphore.h"
#include "core/win_text.h"
#include "install/install_transaction.h"
#include "pack_format.h"
#include "tests/recording_output.h"
#include "tests/test_support.h"

using mwtest::FileExists;
using mwtest::KPlantedLibraries;
using mwtest::KScopedEnvironment;
using mwtest::KTempDir;
using mwtest::MakeFolders;
using mwtest::ProgramFolder;
using mwtest::ReadFileBytes;
using mwtest::WriteFileBytes;

namespace {

struct KCliRun {
    DWORD dwExit = 0xFFFFFFFF;
    std::string strOut;
    std::string strErr;
};

// Runs strExe with strArguments, standard output into a pipe and standard error into a file.
KCliRun s_Run(const std::string& strArguments, const std::string& strExe = ProgramFolder() + "\\mendwright-cli.exe") {
    KCliRun run;
    KTempDir errDir;
    std::string strErrFile = errDir / "stderr.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE hErr = CreateFileA(strErrFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE hOutRead = nullptr, hOutWrite = nullptr;
    CreatePipe(&hOutRead, &hOutWrite, &inherit, 0);
    SetHandleInformation(hOutRead, HANDLE_FLAG_INHERIT, 0);
    HANDLE hNul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                              nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = hNul;
    startup.hStdOutput = hOutWrite;
    startup.hStdError = hErr;
    PROCESS_INFORMATION process = {};
    std::string strCommand = "\"" + strExe + "\" " + strArguments;
    BOOL bStarted =
        CreateProcessA(nullptr, &strCommand[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(hOutWrite);
    CloseHandle(hErr);
    CloseHandle(hNul);
    if (bStarted) {
        char szBuf[4096];
        DWORD dwRead = 0;
        while (ReadFile(hOutRead, szBuf, sizeof(szBuf), &dwRead, nullptr) && dwRead)
            run.strOut.append(szBuf, dwRead);
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &run.dwExit);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(hOutRead);
    run.strErr = ReadFileBytes(strErrFile);
    return run;
}

// Redirected output as the program writes it: each line and a line end, in GBK.
std::string s_Lines(const std::vector<std::string>& lines) {
    std::string strText;
    for (const std::string& strLine : lines)
        strText += strLine + "\r\n";
    return mwtest::Gbk(strText);
}

const std::string s_strGamePathWrong = std::string(u8"·游戏路径有误，请选择正确的游戏路径。");

std::string s_File(const std::string& strPath, const std::string& strName) {
    return "<File><FilePath>" + strPath + "</FilePath><FileName>" + strName + "</FileName></File>";
}

// The first path whose entry differs between two snapshots, for failure messages.
std::string s_FirstDifference(const std::map<std::string, std::string>& one, const std::map<std::string, std::string>& other) {
    for (const auto& entry : one) {
        auto found = other.find(entry.first);
        if (found == other.end())
            return entry.first + " missing";
        if (found->second != entry.second)
            return entry.first + ": " + found->second.substr(0, 40);
    }
    for (const auto& entry : other) {
        if (!one.count(entry.first))
            return entry.first + " added";
    }
    return "none";
}

class CliTest : public ::testing::Test {
protected:
    CliTest() : m_strGame(m_Dir / "game"), m_strPackage(m_Dir / "package") {
        MakeFolders(m_strGame + "\\interface\\old");
        MakeFolders(m_strGame + "\\interface2");
        WriteFileBytes(m_strGame + "\\interface\\old\\stale.lua", "stale");
        WriteFileBytes(m_strGame + "\\velmora.exe", "launcher");
        MakeFolders(m_strPackage + "\\interface\\ui");
        WriteFileBytes(m_strPackage + "\\interface\\ui\\main.lua", "main");
        WriteFileBytes(m_strPackage + "\\" + std::string(u8"说明.txt"), "readme");
    }
    // Writes Update.dat (GBK) with the given File elements and further elements of Root.
    void Describe(const std::string& strFiles, const std::string& strMore = "") {
        WriteFileBytes(m_strPackage + "\\Update.dat", mwtest::Gbk(u8"<?xml version=\"1.0\" encoding=\"gbk\"?>\n<Root><AppTitle>"
                                                                  u8"示例插件</AppTitle><FileList>" +
                                                                  strFiles + "</FileList>" + strMore + "</Root>"));
    }
    // What the console writes of Init's lines before anything else: the same search in the same
    // prefix, without its word on a folder it found wrong (the Update command judges its own).
    std::vector<std::string> InitLines(std::string* pstrFound = nullptr) {
        mwtest::KRecordingOutput output;
        KUpdateInstaller installer;
        installer.Init((m_strPackage + "\\Update.dat").c_str(), &output);
        if (pstrFound)
            *pstrFound = installer.m_strGamePath;
        std::vector<std::string> lines;
        for (const std::string& strLine : output.m_Lines) {
            if (strLine != s_strGamePathWrong)
                lines.push_back(strLine);
        }
        return lines;
    }
    // Runs the installation nKills times, each killed after a random part of uWhole ms, and
    // recovers after each: the game folder (made afresh by fnMakeGame) must be before or after.
    // The number of runs recovery undid.
    template <class F>
    int KillAtRandom(F fnMakeGame, DWORD uWhole, const std::map<std::string, std::string>& before,
                     const std::map<std::string, std::string>& after, int nKills) {
        unsigned uSeed = 12345;
        int nUndone = 0;
        for (int nKill = 0; nKill < nKills; ++nKill) {
            SCOPED_TRACE(nKill);
            fnMakeGame();
            uSeed = uSeed * 1103515245u + 12345u;
            DWORD uDelay = (uSeed >> 8) % (uWhole + 1);
            // Standard handles on NUL, so that nothing the process starts holds the test's output.
            SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
            HANDLE hNul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                      OPEN_EXISTING, 0, nullptr);
            STARTUPINFOA startup = {};
            startup.cb = sizeof(startup);
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = startup.hStdOutput = startup.hStdError = hNul;
            PROCESS_INFORMATION process = {};
            std::string strCommand = "\"" + ProgramFolder() + "\\mendwright-cli.exe\" " + Arguments();
            EXPECT_TRUE(CreateProcessA(nullptr, &strCommand[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                       &process));
            CloseHandle(hNul);
            WaitForSingleObject(process.hProcess, uDelay);
            mwtest::EndProcessTree(process.hProcess, process.dwProcessId, 9);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);

            mwtest::KRecordingOutput recovering;
            nUndone += RecoverInterruptedInstall(m_strGame.c_str(), &recovering) == KRECOVERY_UNDONE;
            std::map<std::string, std::string> now = mwtest::TreeSnapshot(m_strGame);
            EXPECT_TRUE(now == before || now == after) << "delay " << uDelay << " ms, recovery lines: "
                                                       << recovering.m_Lines.size() << ", first difference from before: "
                                                       << s_FirstDifference(before, now)
                                                       << ", from after: " << s_FirstDifference(after, now);
        }
        return nUndone;
    }

    std::string Arguments() const { return "--package \"" + m_strPackage + "\" --game \"" + m_strGame + "\""; }

    KTempDir m_Dir;
    std::string m_strGame;
    std::string m_strPackage;
};

TEST_F(CliTest, InstallPrintsEveryLineOfTheListAndExitsZero) {
    Describe(s_File("interface\\ui\\", "main.lua") + s_File("\\", std::string(u8"说明.txt")));
    std::vector<std::string> expected = InitLines();
    const size_t uInitLines = expected.size();
    std::vector<std::string> run = {
        std::string(u8"·开始复制文件，可能需要几分钟时间，请稍等..."),
        std::string(48, '-'),
        std::string(u8"清除老插件interface成功！"),
        std::string(u8"清除老插件interface2成功！"),
        std::string(u8"·正在复制文件：main.lua"),
        m_strGame + "\\interface\\ui\\" + std::string(u8" 完成！"),
        std::string(u8"·正在复制文件：说明.txt"),
        m_strGame + "\\" + std::string(u8" 完成！"),
        std::string(u8"·文件复制完成。"),
        std::string(54, '-'),
    };
    expected.insert(expected.end(), run.begin(), run.end());

    KCliRun first = s_Run(Arguments());
    EXPECT_EQ(0u, first.dwExit);
    EXPECT_EQ(s_Lines(expected), first.strOut);  // no progress indicator in redirected output
    EXPECT_EQ("", first.strErr);
    EXPECT_FALSE(FileExists(m_strGame + "\\interface\\old"));
    EXPECT_EQ("main", ReadFileBytes(m_strGame + "\\interface\\ui\\main.lua"));
    EXPECT_EQ("readme", ReadFileBytes(m_strGame + "\\" + std::string(u8"说明.txt")));

    // A second run replaces the plug-in folder the first one made.
    ASSERT_TRUE(WriteFileBytes(m_strGame + "\\interface\\added_since.lua", "x"));
    KCliRun second = s_Run(Arguments());
    EXPECT_EQ(0u, second.dwExit);
    expected.erase(expected.begin() + uInitLines + 3);  // interface2 is gone since the first run
    EXPECT_EQ(s_Lines(expected), second.strOut);
    EXPECT_FALSE(FileExists(m_strGame + "\\interface\\added_since.lua"));

    // The same description as an editor saves it in UTF-8 (declared so, with its mark) installs
    // the same way.
    std::string strUtf8 = CodePageToUtf8(936, ReadFileBytes(m_strPackage + "\\Update.dat"));
    ASSERT_NE(strUtf8.find("encoding=\"gbk\""), std::string::npos);
    strUtf8.replace(strUtf8.find("encoding=\"gbk\""), 14, "encoding=\"utf-8\"");
    ASSERT_TRUE(WriteFileBytes(m_strPackage + "\\Update.dat", "\xEF\xBB\xBF" + strUtf8));
    KCliRun third = s_Run(Arguments());
    EXPECT_EQ(0u, third.dwExit);
    EXPECT_EQ(s_Lines(expected), third.strOut);
}

TEST_F(CliTest, PackageMissingAFileIsRefusedBeforeAnythingChanges) {
    Describe(s_File("interface\\ui\\", "main.lua") + s_File("interface\\ui\\", "gone.lua") +
             s_File("", std::string(u8"说明.txt")));
    KCliRun run = s_Run(Arguments());
    EXPECT_EQ(1u, run.dwExit);
    std::string strTail = mwtest::Gbk(u8"·升级包中缺少文件interface\\ui\\gone.lua，请重新下载升级包。") + "\r\n";
    ASSERT_GE(run.strOut.size(), strTail.size());
    EXPECT_EQ(strTail, run.strOut.substr(run.strOut.size() - strTail.size()));
    EXPECT_TRUE(FileExists(m_strGame + "\\interface\\old\\stale.lua"));
    EXPECT_FALSE(FileExists(m_strGame + "\\interface\\ui\\main.lua"));
}

TEST_F(CliTest, WrongGameFolderGives2012AndExitsOne) {
    Describe(s_File("", std::string(u8"说明.txt")));
    std::vector<std::string> expected = InitLines();
    expected.push_back(s_strGamePathWrong);
    const std::string aGames[] = {"\"\"", "\"" + m_Dir / "missing" + "\"", "\"" + m_strPackage + "\\Update.dat\""};
    for (const std::string& strGame : aGames) {
        SCOPED_TRACE(strGame);
        KCliRun run = s_Run("--package \"" + m_strPackage + "\" --game " + strGame);
        EXPECT_EQ(1u, run.dwExit);
        EXPECT_EQ(s_Lines(expected), run.strOut);
    }
}

TEST_F(CliTest, KilledAtRandomTheGameFolderRecoversToBeforeOrAfter) {
    // 2,000 small files over 20 folders, replacing as many of the player's.
    std::string strFiles;
    auto fnMakeGame = [&]() {
        mwtest::RemoveTree(m_strGame);
        MakeFolders(m_strGame + "\\interface\\old");
        WriteFileBytes(m_strGame + "\\interface\\old\\stale.lua", "stale");
        WriteFileBytes(m_strGame + "\\velmora.exe", "launcher");
        MakeFolders(m_strGame + "\\resource");  // made by the resource check before any change
        for (int d = 0; d < 20; ++d) {
            MakeFolders(m_strGame + "\\data" + std::to_string(d));
            for (int f = 0; f < 100; f += 2)
                WriteFileBytes(m_strGame + "\\data" + std::to_string(d) + "\\f" + std::to_string(f), "old");
        }
    };
    for (int d = 0; d < 20; ++d) {
        std::string strFolder = "data" + std::to_string(d) + "\\";
        MakeFolders(m_strPackage + "\\" + strFolder);
        for (int f = 0; f < 100; ++f) {
            WriteFileBytes(m_strPackage + "\\" + strFolder + "f" + std::to_string(f), "new " + std::to_string(f));
            strFiles += s_File(strFolder, "f" + std::to_string(f));
        }
    }
    Describe(strFiles);
    fnMakeGame();
    const std::map<std::string, std::string> before = mwtest::TreeSnapshot(m_strGame);
    DWORD uStart = GetTickCount();
    ASSERT_EQ(0u, s_Run(Arguments()).dwExit);
    DWORD uWhole = GetTickCount() - uStart;
    const std::map<std::string, std::string> after = mwtest::TreeSnapshot(m_strGame);

    EXPECT_GE(KillAtRandom(fnMakeGame, uWhole, before, after, 20), 1);
}

const char s_szVersion13[] =
    "<VersionInfoList><VersionInfo><Application>velmora.exe</Application><Version>1.3</Version></VersionInfo>"
    "</VersionInfoList>";

TEST_F(CliTest, APackageThatDoesNotFitTheGamesVersionExitsFourAndReinstallTakesTheSameOne) {
    Describe(s_File("", std::string(u8"说明.txt")), s_szVersion13);
    const std::string strIni = m_strGame + "\\version.ini";
    const struct {
        const char* pszIni;
        const char* pszOption;
        DWORD dwExit;
        std::string strLast;
        const char* pszIniAfter;
    } aCases[] = {
        {"[Version]\r\nvelmora.exe=1.4\r\n", "", 4, u8"检测到升级包版本比游戏版本旧，无法进行升级。", nullptr},
        {"[Version]\r\nvelmora.exe=1.3.0\r\n", "", 4, u8"本地已经是最新版本，是否继续安装？", nullptr},
        {"[Version]\r\nvelmora.exe=1.3.0\r\n", " --reinstall", 0, std::string(54, '-'), "[Version]\r\nvelmora.exe=1.3\r\n"},
    };
    for (const auto& oneCase : aCases) {
        SCOPED_TRACE(oneCase.pszOption);
        WriteFileBytes(strIni, oneCase.pszIni);
        KCliRun run = s_Run(Arguments() + oneCase.pszOption);
        EXPECT_EQ(oneCase.dwExit, run.dwExit);
        std::string strTail = mwtest::Gbk(oneCase.strLast) + "\r\n";
        ASSERT_GE(run.strOut.size(), strTail.size());
        EXPECT_EQ(strTail, run.strOut.substr(run.strOut.size() - strTail.size()));
        EXPECT_EQ(oneCase.pszIniAfter ? oneCase.pszIniAfter : oneCase.pszIni, ReadFileBytes(strIni));
        EXPECT_EQ(oneCase.dwExit == 0, !FileExists(m_strGame + "\\interface\\old\\stale.lua"));
    }
}

TEST_F(CliTest, KilledDuringALargeMergeTheGameFolderRecoversToBeforeOrAfter) {
    // A game pack of 200,000 entries; the package's pack adds 64 MiB in 4,096: large enough that
    // the merge, not the process's start, takes most of the run, where the kills fall.
    const std::string strGamePack = mwtest::PackBytes(0, 200000, 'g', 64);
    WriteFileBytes(m_strPackage + "\\art.pak", mwtest::PackBytes(100001, 4096, 'p', 16384));
    CopyFileA((ProgramFolder() + "\\Cobblepak.dll").c_str(), (m_strPackage + "\\Cobblepak.dll").c_str(), FALSE);
    Describe(s_File("", std::string(u8"说明.txt")),
             std::string(s_szVersion13) + "<PackList><Pack><Source>art.pak</Source><Target>data\\art.pak</Target></Pack></PackList>");
    auto fnMakeGame = [&]() {
        mwtest::RemoveTree(m_strGame);
        MakeFolders(m_strGame + "\\data");
        MakeFolders(m_strGame + "\\resource");  // made by the resource check before any change
        WriteFileBytes(m_strGame + "\\velmora.exe", "launcher");
        WriteFileBytes(m_strGame + "\\data\\art.pak", strGamePack);
    };
    fnMakeGame();
    const std::map<std::string, std::string> before = mwtest::TreeSnapshot(m_strGame);
    DWORD uStart = GetTickCount();
    KCliRun whole = s_Run(Arguments());
    ASSERT_EQ(0u, whole.dwExit) << whole.strOut;
    DWORD uWhole = GetTickCount() - uStart;
    const std::map<std::string, std::string> after = mwtest::TreeSnapshot(m_strGame);
    ASSERT_GT(after.at("data\\art.pak").size(), before.at("data\\art.pak").size() + (16u << 20));
    EXPECT_GE(KillAtRandom(fnMakeGame, uWhole, before, after, 12), 1);
}

// Two builds of the game: the package mendwright-pack diff makes of them, installed onto OLD,
// gives NEW (every file byte for byte, the pack entry for entry, the versions), and an install
// killed at any moment gives OLD or NEW.
TEST_F(CliTest, PatchMadeByDiffTurnsOldIntoNewAndAKillGivesOneOrTheOther) {
    const std::string strOld = m_Dir / "old", strNew = m_Dir / "new", strOut = m_Dir / "patch";
    std::vector<std::pair<unsigned long, std::string>> aOldItems, aNewItems;
    for (unsigned long uKey = 0; uKey < 300; uKey += 2) {
        if (uKey < 200)
            aOldItems.emplace_back(uKey, std::string(8 + uKey % 5, 'g'));
        // Keys from 100 changed, from 200 new.
        aNewItems.emplace_back(uKey, uKey < 100 ? std::string(8 + uKey % 5, 'g') : std::string(6 + uKey % 7, 'n'));
    }
    const struct {
        const char* pszPath;
        const char* pszOld;  // null: not in OLD
        const char* pszNew;  // null: not in NEW
    } aFiles[] = {
        {"velmora.exe", "launcher", "launcher"},
        {"version.ini", "[Version]\r\nvelmora.exe=1.1.0\r\n", "[Version]\r\nvelmora.exe=1.2.0\r\n"},
        {"data\\same.dat", "same", "same"},
        {"data\\changed.dat", "old bytes", "new bytes"},
        {"data\\added.dat", nullptr, "added"},
        {"lib\\keep.dll", "keep", "keep"},
        {"lib\\old.dll", "old library", nullptr},
        {"retired\\a.cfg", "a", nullptr},
        {"retired\\sub\\b.cfg", "b", nullptr},
        {"notes.txt", "gone", nullptr},
    };
    for (const auto& file : aFiles) {
        for (const auto& side : {std::make_pair(strOld, file.pszOld), std::make_pair(strNew, file.pszNew)}) {
            if (!side.second)
                continue;
            std::string strPath = side.first + "\\" + file.pszPath;
            MakeFolders(strPath.substr(0, strPath.rfind('\\')));
            ASSERT_TRUE(WriteFileBytes(strPath, side.second));
        }
    }
    // Enough changed files that a kill at a random moment of the install falls inside it.
    MakeFolders(strOld + "\\data\\many");
    MakeFolders(strNew + "\\data\\many");
    for (int i = 0; i < 400; ++i) {
        std::string strName = "\\data\\many\\f" + std::to_string(i);
        ASSERT_TRUE(WriteFileBytes(strOld + strName, "old " + std::to_string(i)));
        ASSERT_TRUE(WriteFileBytes(strNew + strName, "new " + std::to_string(i)));
    }
    ASSERT_TRUE(WriteFileBytes(strOld + "\\data\\art.pak", mwtest::PackOf(aOldItems)));
    ASSERT_TRUE(WriteFileBytes(strNew + "\\data\\art.pak", mwtest::PackOf(aNewItems)));
    // The resource check makes this folder before any change: both builds have it.
    MakeFolders(strOld + "\\resource");
    MakeFolders(strNew + "\\resource");
    MakeFolders(strOut);
    CopyFileA((ProgramFolder() + "\\Cobblepak.dll").c_str(), (strOut + "\\Cobblepak.dll").c_str(), FALSE);

    KCliRun diff = s_Run("diff \"" + strOld + "\" \"" + strNew + "\" \"" + strOut + "\"", ProgramFolder() + "\\mendwright-pack.exe");
    ASSERT_EQ(0u, diff.dwExit) << diff.strOut;
    std::string strDescription = ReadFileBytes(strOut + "\\Update.dat");
    EXPECT_NE(std::string::npos, strDescription.find("<DeleteList>"));
    EXPECT_NE(std::string::npos, strDescription.find("<PackList>"));
    // The package carries the pack's changed and new entries only.
    EXPECT_EQ(100u, mwtest::PackItems(ReadFileBytes(strOut + "\\data\\art.pak")).size());

    m_strPackage = strOut;
    auto fnMakeGame = [&]() {
        mwtest::RemoveTree(m_strGame);
        for (const auto& entry : mwtest::TreeSnapshot(strOld)) {
            std::string strPath = m_strGame + "\\" + entry.first;
            if (entry.second == "dir")
                MakeFolders(strPath);
            else
                WriteFileBytes(strPath, ReadFileBytes(strOld + "\\" + entry.first));
        }
    };
    fnMakeGame();
    const std::map<std::string, std::string> before = mwtest::TreeSnapshot(m_strGame);
    DWORD uStart = GetTickCount();
    KCliRun installed = s_Run(Arguments());
    DWORD uWhole = GetTickCount() - uStart;
    ASSERT_EQ(0u, installed.dwExit) << installed.strOut;
    EXPECT_NE(std::string::npos, installed.strOut.find(mwtest::Gbk(u8"清除旧文件notes.txt成功！")));
    EXPECT_NE(std::string::npos, installed.strOut.find(mwtest::Gbk(u8"清除旧文件retired\\成功！")));

    std::map<std::string, std::string> after = mwtest::TreeSnapshot(m_strGame), expected = mwtest::TreeSnapshot(strNew);
    std::string strPack = ReadFileBytes(m_strGame + "\\data\\art.pak");
    std::string strNewPack = ReadFileBytes(strNew + "\\data\\art.pak");
    EXPECT_EQ(mwtest::PackItems(strNewPack), mwtest::PackItems(strPack, strNewPack));
    ASSERT_GE(strPack.size(), 32u);
    EXPECT_EQ(nullptr, cobblepak::CheckPackLayout(cobblepak::DecodePackHeader(reinterpret_cast<const std::uint8_t*>(strPack.data())),
                                                  static_cast<std::int64_t>(strPack.size())));
    after.erase("data\\art.pak");
    expected.erase("data\\art.pak");
    EXPECT_TRUE(after == expected) << s_FirstDifference(expected, after);

    EXPECT_GE(KillAtRandom(fnMakeGame, uWhole, before, mwtest::TreeSnapshot(m_strGame), 10), 1);
}

TEST_F(CliTest, AFaultyCobblepakOrAHeldVersionFileExitsOneWithTheGameFolderAsItWas) {
    WriteFileBytes(m_strPackage + "\\art.pak", mwtest::PackBytes(100, 50, 'p'));
    CopyFileA((ProgramFolder() + "\\faulty_cobblepak.dll").c_str(), (m_strPackage + "\\Cobblepak.dll").c_str(), FALSE);
    Describe(s_File("", std::string(u8"说明.txt")),
             std::string(s_szVersion13) + "<PackList><Pack><Source>art.pak</Source><Target>data\\art.pak</Target></Pack></PackList>");
    MakeFolders(m_strGame + "\\data");
    MakeFolders(m_strGame + "\\resource");  // made by the resource check before any change
    WriteFileBytes(m_strGame + "\\data\\art.pak", mwtest::PackBytes(0, 100, 'g'));
    WriteFileBytes(m_strGame + "\\version.ini", "[Version]\nvelmora.exe = 1.2\n");
    const std::string strFailed = u8"Cobblepak.dll调用失败，请重试或重新下载升级包。";
    const std::string strRestored = u8"·安装没有完成，游戏目录已恢复原状。";
    const std::string strHeld = std::string(u8"·文件") + m_strGame + u8"\\version.ini正被其他程序使用，请关闭游戏或占用该文件的程序后重试。";
    const struct {
        const char* pszFault;  // COBBLEPAK_FAULT (tests/faulty_cobblepak.cpp)
        bool bHoldVersions;
        std::string strTail;
    } aCases[] = {
        {"crash", false, s_Lines({strFailed, strRestored})},
        {"header", false, s_Lines({strFailed, strRestored})},
        {"nothing", true, s_Lines({strHeld})},
    };
    for (const auto& oneCase : aCases) {
        SCOPED_TRACE(oneCase.pszFault);
        const std::map<std::string, std::string> before = mwtest::TreeSnapshot(m_strGame);
        SetEnvironmentVariableA("COBBLEPAK_FAULT", oneCase.pszFault);
        HANDLE hHeld = oneCase.bHoldVersions ? CreateFileA((m_strGame + "\\version.ini").c_str(), GENERIC_READ, 0, nullptr,
                                                           OPEN_EXISTING, 0, nullptr)
                                             : INVALID_HANDLE_VALUE;
        KCliRun run = s_Run(Arguments());
        if (hHeld != INVALID_HANDLE_VALUE)
            CloseHandle(hHeld);
        SetEnvironmentVariableA("COBBLEPAK_FAULT", nullptr);
        EXPECT_EQ(1u, run.dwExit);
        ASSERT_GE(run.strOut.size(), oneCase.strTail.size()) << run.strOut;
        EXPECT_EQ(oneCase.strTail, run.strOut.substr(run.strOut.size() - oneCase.strTail.size()));
        EXPECT_EQ(before, mwtest::TreeSnapshot(m_strGame));
    }
}

TEST_F(CliTest, RunningGameOrUpdateExitsThreeAndSaysWhich) {
    Describe(s_File("", std::string(u8"说明.txt")));
    std::string strFound;
    std::vector<std::string> expected = InitLines(&strFound);
    const struct {
        const char* pszPrefix;
        const char* pszText;
    } cases[] = {{"CLIENT", u8"检测到游戏正在运行，请先把游戏关闭再升级。"},
                 {"UPDATE", u8"检测到另一个升级程序正在安装到这个游戏目录，请等它完成后再升级。"}};
    for (const auto& c : cases) {
        KUpdateSemaphore held;
        std::strcpy(held.m_szName, MakeSemaphoreName(c.pszPrefix, strFound.c_str()));
        ASSERT_EQ(1, held.Acquire(0));
        KCliRun run = s_Run(Arguments());
        EXPECT_EQ(3u, run.dwExit) << c.pszPrefix;
        EXPECT_EQ(s_Lines(expected), run.strOut) << c.pszPrefix;
        EXPECT_EQ(mwtest::Gbk(c.pszText) + "\r\n", run.strErr) << c.pszPrefix;
        EXPECT_TRUE(FileExists(m_strGame + "\\interface\\old\\stale.lua")) << c.pszPrefix;
    }
}

TEST_F(CliTest, DamagedOrMissingDescriptionIsReportedOnce) {
    const std::string strFaulty = std::string(u8"·配置文件有误，不能进行升级，请重新下载升级包。");
    for (const char* pszDescription : {"<NoRoot/>", ""}) {
        SCOPED_TRACE(pszDescription);
        DeleteFileA((m_strPackage + "\\Update.dat").c_str());
        if (pszDescription[0])
            WriteFileBytes(m_strPackage + "\\Update.dat", pszDescription);
        KCliRun run = s_Run(Arguments());
        EXPECT_EQ(1u, run.dwExit);
        EXPECT_EQ(s_Lines({strFaulty}), run.strOut);
        EXPECT_TRUE(FileExists(m_strGame + "\\interface\\old\\stale.lua"));
    }
}

TEST_F(CliTest, UsageErrorsExitTwoWithTheUsageText) {
    const char* const aszArguments[] = {"--bogus", "--game", "--package", "--package a --package b", "extra",
                                        "--package \"\""};
    for (const char* pszArguments : aszArguments) {
        SCOPED_TRACE(pszArguments);
        KCliRun run = s_Run(pszArguments);
        EXPECT_EQ(2u, run.dwExit);
        EXPECT_EQ("", run.strOut);
        EXPECT_EQ(0u, run.strErr.find("usage: mendwright-cli [--package DIR] [--game DIR]"));
    }
}

TEST_F(CliTest, PackageDefaultsToTheProgramsOwnFolder) {
    Describe(s_File("\\", std::string(u8"说明.txt")));
    std::string strProgram = ProgramFolder();
    ASSERT_TRUE(CopyFileA((strProgram + "\\mendwright-cli.exe").c_str(), (m_strPackage + "\\mendwright-cli.exe").c_str(),
                          FALSE));
    ASSERT_TRUE(CopyFileA((strProgram + "\\engine.dll").c_str(), (m_strPackage + "\\engine.dll").c_str(), FALSE));
    KCliRun run = s_Run("--game \"" + m_strGame + "\"", m_strPackage + "\\mendwright-cli.exe");
    EXPECT_EQ(0u, run.dwExit);
    EXPECT_EQ("readme", ReadFileBytes(m_strGame + "\\" + std::string(u8"说明.txt")));
}

// A package as a download folder may hold it: libraries of common names beside the program, and
// an engine.dll on PATH that the ordinary search would find when the program's own is missing.
class CliPlantedTest : public CliTest {
protected:
    CliPlantedTest() : m_strElsewhere(m_Dir / "elsewhere"), m_Path("PATH", m_strElsewhere + ";" + s_Path()) {
        Describe(s_File("interface\\ui\\", "main.lua") + s_File("\\", std::string(u8"说明.txt")));
        MakeFolders(m_strElsewhere);
        m_bPlanted = m_Planted.PlantAll(m_strPackage) && m_Planted.Plant(m_strElsewhere, "engine.dll");
    }
    static std::string s_Path() {
        char szPath[32768] = {0};
        GetEnvironmentVariableA("PATH", szPath, sizeof(szPath));
        return szPath;
    }
    // Copies a program of the build into the package folder.
    bool CopyIn(const std::string& strName) {
        return CopyFileA((ProgramFolder() + "\\" + strName).c_str(), (m_strPackage + "\\" + strName).c_str(), FALSE) !=
               FALSE;
    }

    std::string m_strElsewhere;
    KScopedEnvironment m_Path;
    KPlantedLibraries m_Planted;
    bool m_bPlanted = false;
};

TEST_F(CliPlantedTest, NoPlantedLibraryIsLoadedDuringAWholeInstallation) {
    ASSERT_TRUE(m_bPlanted);
    ASSERT_TRUE(CopyIn("mendwright-cli.exe"));
    ASSERT_TRUE(CopyIn("engine.dll"));
    // Cobblepak.dll, loaded from the package folder for a merge, brings none in either.
    ASSERT_TRUE(CopyIn("Cobblepak.dll"));
    WriteFileBytes(m_strPackage + "\\art.pak", mwtest::PackBytes(1, 10, 'p'));
    WriteFileBytes(m_strGame + "\\art.pak", mwtest::PackBytes(0, 10, 'g'));
    Describe(s_File("interface\\ui\\", "main.lua") + s_File("\\", std::string(u8"说明.txt")),
             "<PackList><Pack><Source>art.pak</Source><Target>art.pak</Target></Pack></PackList>");
    KCliRun run = s_Run("--game \"" + m_strGame + "\"", m_strPackage + "\\mendwright-cli.exe");
    EXPECT_EQ(0u, run.dwExit);
    EXPECT_EQ("", run.strErr);
    // The data appended, then the merged index of all 20 entries.
    EXPECT_EQ(mwtest::PackBytes(0, 10, 'g').size() + 10 * 8 + 20 * 16, ReadFileBytes(m_strGame + "\\art.pak").size());
    // Installed through the package's engine.dll: the only other one on the way records its loading.
    EXPECT_EQ("main", ReadFileBytes(m_strGame + "\\interface\\ui\\main.lua"));
    EXPECT_EQ("readme", ReadFileBytes(m_strGame + "\\" + std::string(u8"说明.txt")));
    EXPECT_EQ(std::vector<std::string>(), m_Planted.Loads());
}

TEST_F(CliPlantedTest, AProgramWithoutRestrictionLoadsThePlantedCopy) {
    // The control: the same planting, a program that searches the ordinary way.
    ASSERT_TRUE(m_bPlanted);
    ASSERT_TRUE(CopyIn("hold.exe"));
    KCliRun run = s_Run("library version.dll", m_strPackage + "\\hold.exe");
    EXPECT_EQ(0u, run.dwExit);
    EXPECT_EQ(std::vector<std::string>{m_strPackage + "\\version.dll: " + m_strPackage + "\\hold.exe"}, m_Planted.Loads());
}

TEST_F(CliPlantedTest, MissingEngineLibraryEndsWithAClearErrorAndChangesNothing) {
    ASSERT_TRUE(m_bPlanted);
    ASSERT_TRUE(CopyIn("mendwright-cli.exe"));
    KCliRun run = s_Run("--game \"" + m_strGame + "\"", m_strPackage + "\\mendwright-cli.exe");
    EXPECT_EQ(1u, run.dwExit);
    EXPECT_EQ("", run.strOut);
    EXPECT_EQ(mwtest::Gbk(u8"engine.dll不存在或无法加载，请重新下载升级包。") + "\r\n", run.strErr);
    EXPECT_TRUE(FileExists(m_strGame + "\\interface\\old\\stale.lua"));
    EXPECT_EQ(std::vector<std::string>(), m_Planted.Loads());

    // --utf8 holds for this line too.
    run = s_Run("--utf8 --game \"" + m_strGame + "\"", m_strPackage + "\\mendwright-cli.exe");
    EXPECT_EQ(1u, run.dwExit);
    EXPECT_EQ(std::string(u8"engine.dll不存在或无法加载，请重新下载升级包。") + "\r\n", run.strErr);
}

}  // namespace

// mendwright-pack.exe makes the description; the installer takes what it wrote, refuses a file
// whose bytes differ from its digest with the folder restored, and without digests installs it.
TEST_F(CliTest, PackageMadeByThePackagingToolAndItsDigests) {
    KCliRun make = s_Run("make \"" + m_strPackage + "\" --title T", ProgramFolder() + "\\mendwright-pack.exe");
    ASSERT_EQ(0u, make.dwExit) << make.strOut;
    std::string strDescription = ReadFileBytes(m_strPackage + "\\Update.dat");
    EXPECT_NE(std::string::npos, strDescription.find("<FileName>" + mwtest::Gbk(u8"说明.txt") + "</FileName>"));
    EXPECT_NE(std::string::npos, strDescription.find("<FileSha256>"));

    // One byte of main.lua differs from what the package was made with.
    ASSERT_TRUE(WriteFileBytes(m_strPackage + "\\interface\\ui\\main.lua", "mbin"));
    MakeFolders(m_strGame + "\\resource");  // made by the resource check, before any change
    std::map<std::string, std::string> before = mwtest::TreeSnapshot(m_strGame);
    KCliRun damaged = s_Run(Arguments());
    EXPECT_EQ(1u, damaged.dwExit);
    std::string strTail = mwtest::Gbk(u8"·复制interface\\ui\\main.lua时出错！（错误：文件已损坏，与升级包的校验值不符）") + "\r\n" +
                          mwtest::Gbk(u8"失败，请重试或重新下载升级包。") + "\r\n" + mwtest::Gbk(u8"·安装没有完成，游戏目录已恢复原状。") + "\r\n";
    ASSERT_GE(damaged.strOut.size(), strTail.size());
    EXPECT_EQ(strTail, damaged.strOut.substr(damaged.strOut.size() - strTail.size()));
    std::map<std::string, std::string> after = mwtest::TreeSnapshot(m_strGame);
    EXPECT_TRUE(before == after) << s_FirstDifference(before, after);

    // The same package without digests installs as before.
    std::string strPlain;
    for (size_t uPos = 0; uPos < strDescription.size();) {
        size_t uEnd = strDescription.find("\r\n", uPos) + 2;
        std::string strLine = strDescription.substr(uPos, uEnd - uPos);
        if (strLine.find("<FileSha256>") == std::string::npos)
            strPlain += strLine;
        uPos = uEnd;
    }
    ASSERT_TRUE(WriteFileBytes(m_strPackage + "\\Update.dat", strPlain));
    EXPECT_EQ(0u, s_Run(Arguments()).dwExit);
    EXPECT_EQ("mbin", ReadFileBytes(m_strGame + "\\interface\\ui\\main.lua"));

    // Put right, the package as made installs, names in the same GBK bytes.
    ASSERT_TRUE(WriteFileBytes(m_strPackage + "\\interface\\ui\\main.lua", "main"));
    ASSERT_TRUE(WriteFileBytes(m_strPackage + "\\Update.dat", strDescription));
    KCliRun check = s_Run("check \"" + m_strPackage + "\"", ProgramFolder() + "\\mendwright-pack.exe");
    EXPECT_EQ(0u, check.dwExit) << check.strOut;
    KCliRun checkOnGame = s_Run("check \"" + m_strPackage + "\" --game \"" + m_strGame + "\"",
                                ProgramFolder() + "\\mendwright-pack.exe");
    EXPECT_EQ(0u, checkOnGame.dwExit) << checkOnGame.strOut;
    KCliRun installed = s_Run(Arguments());
    EXPECT_EQ(0u, installed.dwExit) << installed.strOut;
    EXPECT_EQ("main", ReadFileBytes(m_strGame + "\\interface\\ui\\main.lua"));
    EXPECT_EQ("readme", ReadFileBytes(m_strGame + "\\" + std::string(u8"说明.txt")));
}
