// Starting the game's launcher the way Run Game does: the stand-in launcher records its working
// folder, command line and the process that started it.
#include "app/launch_as_user.h"

#include <gtest/gtest.h>

#include <exdisp.h>
#include <ole2.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/win_text.h"
#include "tests/test_support.h"

using mwtest::FileExists;
using mwtest::KTempDir;
using mwtest::ProgramFolder;

namespace {

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
    LaunchAsUserTest() : m_strGame(m_Dir / std::string(u8"游戏 目录")) {
        CreateDirectoryU8(m_strGame.c_str());
        m_bCopied = CopyFileW(Utf8ToWide(ProgramFolder() + "\\fake_launcher.exe").c_str(), Utf8ToWide(m_strGame + "\\velmora.exe").c_str(),
                              FALSE) != FALSE;
    }
    // Opens the launcher; the lines of its record (working folder, command line, the id of the
    // process that started it), or none when it did not start within 10 s.
    std::vector<std::string> Launch() {
        std::vector<std::string> lines;
        std::string strRecord = m_strGame + "\\launched.txt";
        if (!OpenAsSignedInUser(nullptr, (m_strGame + "\\velmora.exe").c_str(), m_strGame.c_str()))
            return lines;
        for (int i = 0; i < 500 && !FileExists(strRecord); ++i)
            Sleep(20);
        std::istringstream record(mwtest::ReadFileBytes(strRecord));
        for (std::string strLine; std::getline(record, strLine);)
            lines.push_back(strLine);
        return lines;
    }

    KTempDir m_Dir;
    std::string m_strGame;
    bool m_bCopied = false;
};

TEST_F(LaunchAsUserTest, TheDesktopShellOpensTheLauncherInTheGameFolder) {
    ASSERT_TRUE(m_bCopied);
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    // Started by the desktop shell's process when one answers (Wine's explorer does, with a
    // display), otherwise by this one.
    DWORD dwStarter = s_DesktopShellProcess();
    std::vector<std::string> record = Launch();
    OleUninitialize();
    ASSERT_EQ(record.size(), 3u);
    EXPECT_EQ(record[0], m_strGame);
    EXPECT_NE(record[1].find("velmora.exe"), std::string::npos);
    EXPECT_EQ(record[2], std::to_string(dwStarter ? dwStarter : GetCurrentProcessId()));
}

TEST_F(LaunchAsUserTest, WithoutComThisProcessOpensTheLauncher) {
    ASSERT_TRUE(m_bCopied);
    std::vector<std::string> record = Launch();
    ASSERT_EQ(record.size(), 3u);
    EXPECT_EQ(record[0], m_strGame);
    EXPECT_EQ(record[2], std::to_string(GetCurrentProcessId()));
}

}  // namespace
