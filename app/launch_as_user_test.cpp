// Starting the game's launcher the way Run Game does: the stand-in launcher records its working
// folder and command line.
#include "app/launch_as_user.h"

#include <gtest/gtest.h>

#include <exdisp.h>
#include <ole2.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"

using mwtest::Ansi;
using mwtest::FileExists;
using mwtest::KTempDir;
using mwtest::MakeFolders;
using mwtest::ProgramFolder;
using mwtest::ReadFileBytes;

namespace {

bool s_WaitForFile(const std::string& strPath) {
    for (int i = 0; i < 500; ++i) {
        if (FileExists(strPath))
            return true;
        Sleep(20);
    }
    return false;
}

// The lines of the stand-in launcher's record: working folder, command line, starter's process id.
std::vector<std::string> s_Record(const std::string& strFile) {
    std::vector<std::string> lines;
    std::istringstream record(ReadFileBytes(strFile));
    std::string strLine;
    while (std::getline(record, strLine))
        lines.push_back(strLine);
    return lines;
}

// The process that owns the desktop window the shell reports: the desktop shell's own process; 0
// when no desktop shell answers.
DWORD s_DesktopShellProcess() {
    IShellWindows* pWindows = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void**>(&pWindows))))
        return 0;
    VARIANT vEmpty;
    VariantInit(&vEmpty);
    LONG lWindow = 0;
    IDispatch* pDesktop = nullptr;
    HRESULT hr = pWindows->FindWindowSW(&vEmpty, &vEmpty, SWC_DESKTOP, &lWindow, SWFO_NEEDDISPATCH, &pDesktop);
    if (pDesktop)
        pDesktop->Release();
    pWindows->Release();
    DWORD dwShell = 0;
    if (hr == S_OK)
        GetWindowThreadProcessId(reinterpret_cast<HWND>(static_cast<LONG_PTR>(lWindow)), &dwShell);
    return dwShell;
}

class LaunchAsUserTest : public ::testing::Test {
protected:
    // A game folder whose name is not ASCII, with the stand-in launcher in it.
    LaunchAsUserTest() : m_strGame(m_Dir / Ansi(u8"游戏 目录")) {
        MakeFolders(m_strGame);
        m_bCopied = CopyFileA((ProgramFolder() + "\\fake_launcher.exe").c_str(), (m_strGame + "\\velmora.exe").c_str(),
                              FALSE) != FALSE;
        m_bOle = SUCCEEDED(OleInitialize(nullptr));
    }
    ~LaunchAsUserTest() override {
        if (m_bOle)
            OleUninitialize();
    }

    KTempDir m_Dir;
    std::string m_strGame;
    bool m_bCopied = false;
    bool m_bOle = false;
};

TEST_F(LaunchAsUserTest, TheDesktopShellOpensTheLauncherInTheGameFolder) {
    ASSERT_TRUE(m_bCopied);
    ASSERT_TRUE(OpenAsSignedInUser(nullptr, (m_strGame + "\\velmora.exe").c_str(), m_strGame.c_str()));
    ASSERT_TRUE(s_WaitForFile(m_strGame + "\\launched.txt"));
    std::vector<std::string> record = s_Record(m_strGame + "\\launched.txt");
    ASSERT_EQ(record.size(), 3u);
    EXPECT_EQ(record[0], m_strGame);
    EXPECT_NE(record[1].find("velmora.exe"), std::string::npos);
    // Started by the desktop shell's process when one answers (Wine's explorer does, with a
    // display), otherwise by this one.
    DWORD dwShell = s_DesktopShellProcess();
    EXPECT_EQ(record[2], std::to_string(dwShell ? dwShell : GetCurrentProcessId()));
}

TEST_F(LaunchAsUserTest, WithoutComThisProcessOpensTheLauncher) {
    // Without COM the shell cannot be asked.
    if (m_bOle) {
        OleUninitialize();
        m_bOle = false;
    }
    ASSERT_TRUE(m_bCopied);
    ASSERT_TRUE(OpenAsSignedInUser(nullptr, (m_strGame + "\\velmora.exe").c_str(), m_strGame.c_str()));
    ASSERT_TRUE(s_WaitForFile(m_strGame + "\\launched.txt"));
    std::vector<std::string> record = s_Record(m_strGame + "\\launched.txt");
    ASSERT_EQ(record.size(), 3u);
    EXPECT_EQ(record[0], m_strGame);
    EXPECT_EQ(record[2], std::to_string(GetCurrentProcessId()));
}

}  // namespace
