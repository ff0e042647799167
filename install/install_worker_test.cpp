#include "install/install_worker.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/update_installer.h"
#include "tests/recording_shell.h"
#include "tests/test_support.h"
#include "xml/xml_document.h"

using mwtest::FileExists;
using mwtest::KRecordingShell;
using mwtest::KTempDir;
using mwtest::MakeFolders;
using mwtest::ReadFileBytes;
using mwtest::WriteFileBytes;

namespace {

const std::string s_strStart = std::string(u8"·开始复制文件，可能需要几分钟时间，请稍等...");
const std::string s_strSeparator48(48, '-');
const std::string s_strSeparator54(54, '-');
const std::string s_strDone = std::string(u8" 完成！");

std::string s_File(const std::string& strPath, const std::string& strName) {
    return "<File><FilePath>" + strPath + "</FilePath><FileName>" + strName + "</FileName></File>";
}

std::string s_Description(const std::string& strFiles) {
    return "<Root><AppTitle>T</AppTitle><FileList>" + strFiles + "</FileList></Root>";
}

class InstallWorkerTest : public ::testing::Test {
protected:
    InstallWorkerTest() : m_strGame(m_Dir / "game"), m_strPackage(m_Dir / "package") {
        MakeFolders(m_strGame);
        MakeFolders(m_strPackage);
        m_Shell.m_strGamePath = m_strGame;
        m_Shell.m_strPackagePath = m_strPackage;
        m_Shell.m_pInstaller = &m_Installer;
        m_Worker.m_pShellCtrl = &m_Shell;
    }
    void Describe(const std::string& strXml) {
        m_Installer.m_pXmlDoc = CreateXMLDocument(0, "gbk");
        ASSERT_TRUE(m_Installer.m_pXmlDoc && m_Installer.m_pXmlDoc->LoadBuff(strXml.c_str()));
    }
    void PackageFile(const std::string& strRelative, const std::string& strBytes) {
        size_t uSlash = strRelative.rfind('\\');
        if (uSlash != std::string::npos)
            MakeFolders(m_strPackage + "\\" + strRelative.substr(0, uSlash));
        WriteFileBytes(m_strPackage + "\\" + strRelative, strBytes);
    }
    // Runs one installation to its end; false when OnInstallEnd did not come.
    bool Install() {
        if (!m_Worker.Start())
            return false;
        bool bEnded = m_Shell.WaitEnded(60000);
        m_Worker.Stop();
        return bEnded;
    }
    // One installation of strXml (no document when null) on a fresh control surface and worker.
    std::unique_ptr<KRecordingShell> InstallOnce(const char* pszXml) {
        std::unique_ptr<KRecordingShell> pShell(new KRecordingShell);
        KUpdateInstaller installer;
        if (pszXml) {
            installer.m_pXmlDoc = CreateXMLDocument(0, "gbk");
            EXPECT_TRUE(installer.m_pXmlDoc->LoadBuff(pszXml));
        }
        pShell->m_strGamePath = m_strGame;
        pShell->m_strPackagePath = m_strPackage;
        pShell->m_pInstaller = &installer;
        KInstallWorker worker;
        worker.m_pShellCtrl = pShell.get();
        EXPECT_EQ(1, worker.Start());
        EXPECT_TRUE(pShell->WaitEnded(60000));
        worker.Stop();
        pShell->m_pInstaller = nullptr;
        return pShell;
    }
    std::string Game(const std::string& strRelative) const { return m_strGame + "\\" + strRelative; }

    KTempDir m_Dir;
    std::string m_strGame;
    std::string m_strPackage;
    KRecordingShell m_Shell;
    KUpdateInstaller m_Installer;
    KInstallWorker m_Worker;
};

TEST_F(InstallWorkerTest, SuccessfulRunReportsEveryLineInOrder) {
    ASSERT_TRUE(MakeFolders(Game("interface\\old")));
    ASSERT_TRUE(WriteFileBytes(Game("interface\\old\\stale.lua"), "stale"));
    ASSERT_TRUE(MakeFolders(Game("interface2")));
    PackageFile("interface\\ui\\main.lua", "main");
    PackageFile("readme.txt", "readme");
    Describe(s_Description(s_File("interface\\ui\\", "main.lua") + s_File("\\", "readme.txt")));

    ASSERT_TRUE(Install());
    std::vector<std::string> expected = {
        s_strStart,
        s_strSeparator48,
        std::string(u8"清除老插件interface成功！"),
        std::string(u8"清除老插件interface2成功！"),
        std::string(u8"·正在复制文件：main.lua"),
        Game("interface\\ui\\") + s_strDone,
        std::string(u8"·正在复制文件：readme.txt"),
        m_strGame + "\\" + s_strDone,
        std::string(u8"·文件复制完成。"),
        s_strSeparator54,
    };
    EXPECT_EQ(expected, m_Shell.Lines());
    std::vector<std::string> calls = m_Shell.Calls();
    EXPECT_EQ("OnInstallBegin", calls.front());
    EXPECT_EQ("OnInstallEnd(1)", calls.back());
    EXPECT_EQ(2, m_Shell.Count("StepProgress"));
    EXPECT_EQ(1, m_Shell.Count("ShowProgress(0)"));
    EXPECT_EQ(1, m_Worker.m_bFinished.load());
    EXPECT_EQ(nullptr, m_Worker.m_hThread);
    EXPECT_FALSE(FileExists(Game("interface\\old")));
    EXPECT_FALSE(FileExists(Game("interface2")));
    EXPECT_EQ("main", ReadFileBytes(Game("interface\\ui\\main.lua")));
    EXPECT_EQ("readme", ReadFileBytes(Game("readme.txt")));

    // A second run on the same block starts again and replaces the finished thread.
    ASSERT_TRUE(Install());
    EXPECT_EQ(2, m_Shell.Count("OnInstallEnd(1)"));
}

TEST_F(InstallWorkerTest, DescriptionWithoutRootGoesToReportError) {
    Describe("<Other/>");
    ASSERT_TRUE(Install());
    std::vector<std::string> calls = {"OnInstallBegin", "AddMessage", "AddMessage",
                                      "ReportError:" + std::string(u8"·配置文件有误，不能进行升级，请重新下载升级包。"),
                                      "OnInstallEnd(0)"};
    EXPECT_EQ(calls, m_Shell.Calls());

    // No document at all ends the same way.
    EXPECT_EQ(calls, InstallOnce(nullptr)->Calls());
}

TEST_F(InstallWorkerTest, ReadOnlyFilesInPluginFoldersDoNotBlockTheirRemoval) {
    PackageFile("a.lua", "a");
    Describe(s_Description(s_File("", "a.lua")));
    ASSERT_TRUE(MakeFolders(Game("interface")));
    ASSERT_TRUE(WriteFileBytes(Game("interface\\locked.lua"), "x"));
    ASSERT_TRUE(SetFileAttributesA(Game("interface\\locked.lua").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(Install());
    std::vector<std::string> lines = m_Shell.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::string(u8"清除老插件interface成功！"), lines[2]);
    EXPECT_EQ("OnInstallEnd(1)", m_Shell.Calls().back());
    EXPECT_FALSE(FileExists(Game("interface")));
    EXPECT_FALSE(FileExists(Game(".mendwright")));
}

TEST_F(InstallWorkerTest, MissingFieldKeepsThePreviousValueAndAnEmptyOneMeansTheRoot) {
    PackageFile("ui\\a.lua", "a");
    PackageFile("ui\\b.lua", "b");
    PackageFile("c.lua", "c");
    Describe(s_Description(s_File("ui\\", "a.lua") + "<File><FileName>b.lua</FileName></File>" +
                           "<File><FilePath></FilePath><FileName>c.lua</FileName></File>"));
    ASSERT_TRUE(Install());
    EXPECT_EQ("OnInstallEnd(1)", m_Shell.Calls().back());
    EXPECT_EQ("b", ReadFileBytes(Game("ui\\b.lua")));
    EXPECT_EQ("c", ReadFileBytes(Game("c.lua")));
    EXPECT_FALSE(FileExists(Game("ui\\c.lua")));
}

TEST_F(InstallWorkerTest, UnusableEntriesAreRefusedBeforeAnythingIsCopied) {
    struct KCase {
        std::string strFile;
        std::string strError;
    };
    std::string strLong(300, 'L');
    const KCase aCases[] = {
        {s_File("..\\", "evil.txt"), std::string(u8"·复制..\\evil.txt时出错！（错误号：123）")},
        {s_File(strLong + "\\", "x.lua"),
         std::string(u8"·复制") + strLong + std::string(u8"\\x.lua时出错！（错误号：206）")},
    };
    ASSERT_TRUE(WriteFileBytes(m_Dir / "evil.txt", "outside"));
    PackageFile("ok.lua", "ok");
    for (const KCase& oneCase : aCases) {
        std::unique_ptr<KRecordingShell> pShell =
            InstallOnce(s_Description(s_File("", "ok.lua") + oneCase.strFile).c_str());
        std::vector<std::string> lines = pShell->Lines();
        ASSERT_EQ(3u, lines.size());
        EXPECT_EQ(oneCase.strError, lines[2]);
        EXPECT_EQ("OnInstallEnd(0)", pShell->Calls().back());
    }
    // Refused before the first change: not even the good entry is installed.
    EXPECT_FALSE(FileExists(Game("ok.lua")));
    EXPECT_EQ("outside", ReadFileBytes(m_Dir / "evil.txt"));
}

TEST_F(InstallWorkerTest, OverLongGameFolderIsRefused) {
    PackageFile("a.lua", "a");
    Describe(s_Description(s_File("", "a.lua")));
    m_Shell.m_strGamePath = m_strGame + "\\" + std::string(246 - m_strGame.size(), 'g');
    ASSERT_TRUE(Install());
    std::vector<std::string> expected = {s_strStart, s_strSeparator48, std::string(u8"·游戏路径有误，请选择正确的游戏路径。")};
    EXPECT_EQ(expected, m_Shell.Lines());
    EXPECT_EQ("OnInstallEnd(0)", m_Shell.Calls().back());
}

TEST_F(InstallWorkerTest, NullParameterAndSecondStartDoNothing) {
    EXPECT_EQ(0u, KInstallWorker::InstallThreadProc(nullptr));
    EXPECT_EQ(1, m_Worker.Stop());  // idle: nothing to stop
    Describe(s_Description(""));
    ASSERT_EQ(1, m_Worker.Start());
    HANDLE hFirst = m_Worker.m_hThread;
    // Until the first worker has ended, Start starts nothing.
    if (!m_Worker.m_bFinished) {
        EXPECT_EQ(0, m_Worker.Start());
        EXPECT_EQ(hFirst, m_Worker.m_hThread);
    }
    EXPECT_TRUE(m_Shell.WaitEnded(30000));
    m_Worker.Stop();
    EXPECT_EQ(1, m_Shell.Count("OnInstallBegin"));
}

// A control surface that, like the dialog, carries out each report on its window's thread with a
// synchronous window request.
class KWindowShell : public KRecordingShell {
public:
    KWindowShell() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "mw_window_shell";
        RegisterClassA(&windowClass);
        m_hWnd = CreateWindowA("mw_window_shell", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~KWindowShell() { DestroyWindow(m_hWnd); }
    int OnInstallBegin() override { return static_cast<int>(SendMessageA(m_hWnd, WM_APP, 0, 0)); }
    int AddMessage(const char* pszText) override {
        return static_cast<int>(SendMessageA(m_hWnd, WM_APP, 1, reinterpret_cast<LPARAM>(pszText)));
    }
    DWORD m_dwWindowThread = GetCurrentThreadId();
    std::vector<std::string> m_OnWindowThread;

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
        if (uMsg != WM_APP)
            return DefWindowProcA(hWnd, uMsg, wParam, lParam);
        KWindowShell* pShell = reinterpret_cast<KWindowShell*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
        if (GetCurrentThreadId() != pShell->m_dwWindowThread)
            return 0;
        if (wParam == 0)
            return pShell->KRecordingShell::OnInstallBegin();
        pShell->m_OnWindowThread.push_back(reinterpret_cast<const char*>(lParam));
        return pShell->KRecordingShell::AddMessage(reinterpret_cast<const char*>(lParam));
    }
    HWND m_hWnd;
};

TEST_F(InstallWorkerTest, StopCarriesOutTheWorkersWindowRequestsWhileItWaits) {
    PackageFile("a.lua", "a");
    Describe(s_Description(s_File("", "a.lua")));
    KWindowShell shell;
    shell.m_strGamePath = m_strGame;
    shell.m_strPackagePath = m_strPackage;
    shell.m_pInstaller = &m_Installer;
    m_Worker.m_pShellCtrl = &shell;

    // The worker blocks in its first window request until this thread services it: only Stop
    // does, here.
    ASSERT_EQ(1, m_Worker.Start());
    DWORD uStart = GetTickCount();
    EXPECT_EQ(1, m_Worker.Stop());
    DWORD uElapsed = GetTickCount() - uStart;
    EXPECT_LT(uElapsed, static_cast<DWORD>(KInstallWorker::STOP_WAIT_MS));
    EXPECT_EQ(nullptr, m_Worker.m_hThread);
    std::vector<std::string> expected = {s_strStart, s_strSeparator48, std::string(u8"·安装已取消。"),
                                         std::string(u8"·安装没有完成，游戏目录已恢复原状。")};
    EXPECT_EQ(expected, shell.m_OnWindowThread);
    EXPECT_EQ(0, shell.Count("OnInstallEnd(0)") + shell.Count("OnInstallEnd(1)"));
    EXPECT_FALSE(FileExists(Game("a.lua")));
}

TEST_F(InstallWorkerTest, StopDuringALargeFileReturnsPromptlyAndLeavesNoHalfFile) {
    const size_t uBigSize = 96u << 20;
    {
        HANDLE hBig = CreateFileA((m_strPackage + "\\big.pak").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hBig);
        std::string strChunk(1 << 20, 'b');
        DWORD dwWritten = 0;
        for (size_t u = 0; u < uBigSize; u += strChunk.size())
            WriteFile(hBig, strChunk.data(), static_cast<DWORD>(strChunk.size()), &dwWritten, nullptr);
        CloseHandle(hBig);
    }
    PackageFile("after.lua", "after");
    Describe(s_Description(s_File("", "big.pak") + s_File("", "after.lua")));

    ASSERT_EQ(1, m_Worker.Start());
    const std::string strBigLine = std::string(u8"·正在复制文件：big.pak");
    for (int i = 0; i < 3000; ++i) {
        std::vector<std::string> lines = m_Shell.Lines();
        if (lines.size() >= 3 && lines[2] == strBigLine)
            break;
        Sleep(1);
    }
    DWORD uStart = GetTickCount();
    EXPECT_EQ(1, m_Worker.Stop());
    DWORD uElapsed = GetTickCount() - uStart;
    EXPECT_LE(uElapsed, static_cast<DWORD>(KInstallWorker::STOP_WAIT_MS + 1000));
    EXPECT_EQ(nullptr, m_Worker.m_hThread);
    EXPECT_FALSE(FileExists(Game("after.lua")));
    EXPECT_EQ(0, m_Shell.Count("OnInstallEnd(1)"));
    // The copy was cancelled and the game folder put back.
    EXPECT_FALSE(FileExists(Game("big.pak")));
    // The process goes on normally: the heap and thread creation are not left locked.
    std::vector<std::string> heapUse(1000, std::string(1000, 'h'));
    EXPECT_EQ(1000u, heapUse.size());
    ASSERT_TRUE(Install());
    EXPECT_EQ("after", ReadFileBytes(Game("after.lua")));
}

// A control surface whose first call never returns: the worker can only be terminated.
class KStuckShell : public KRecordingShell {
public:
    KStuckShell() : m_hNever(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~KStuckShell() { CloseHandle(m_hNever); }
    int OnInstallBegin() override {
        WaitForSingleObject(m_hNever, INFINITE);
        return 1;
    }
    HANDLE m_hNever;
};

TEST_F(InstallWorkerTest, WorkerThatDoesNotStopIsTerminatedAfterTheBoundedWait) {
    KStuckShell shell;
    m_Worker.m_pShellCtrl = &shell;
    ASSERT_EQ(1, m_Worker.Start());
    Sleep(50);
    EXPECT_EQ(0, m_Worker.Start());  // still running
    DWORD uStart = GetTickCount();
    EXPECT_EQ(1, m_Worker.Stop());
    DWORD uElapsed = GetTickCount() - uStart;
    EXPECT_GE(uElapsed + 50, static_cast<DWORD>(KInstallWorker::STOP_WAIT_MS));
    EXPECT_EQ(nullptr, m_Worker.m_hThread);
    EXPECT_EQ(1, m_Worker.m_bFinished.load());
    m_Worker.m_pShellCtrl = &m_Shell;
}

}  // namespace
