// The GUI tests: Mendwright.exe runs as the player runs it, from a package folder of its own, and
// this program drives its window from outside through window messages: clicks, keys, the tray
// callback, reading the message list, captions and button states.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/update_semaphore.h"
#include "core/win_text.h"
#include "tests/test_support.h"

using mwtest::Ansi;
using mwtest::Gbk;
using mwtest::FileExists;
using mwtest::KTempDir;
using mwtest::MakeFolders;
using mwtest::ProgramFolder;
using mwtest::ReadFileBytes;
using mwtest::WriteFileBytes;

namespace {

// Control ids of the main dialog.
enum {
    ID_QUIT = 2,
    ID_GAME_PATH = 1000,
    ID_BROWSE = 1001,
    ID_LIST = 1002,
    ID_UPDATE = 1003,
    ID_RUN_GAME = 1004,
    ID_PROGRESS = 1005,
    ID_PICTURE = 1006,
    ID_FRAME = 1007,
    ID_TRAY_SHOW = 32774,
    ID_TRAY_ABOUT = 32775,
    ID_TRAY_EXIT = 32776,
    WM_TRAY_NOTIFY = 1933,
    WM_RESOURCE_LIST_NOTIFY = 9110,
};

const char* const s_pszAppPathsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\velmora.exe";
const wchar_t* const s_pwszResourceListTitle = L"Tarnwick-\u8d44\u6e90\u5217\u8868\u5bf9\u8bdd\u6846";

bool s_WaitUntil(const std::function<bool()>& fnDone, DWORD uMs) {
    DWORD uStart = GetTickCount();
    for (;;) {
        if (fnDone())
            return true;
        if (GetTickCount() - uStart > uMs)
            return false;
        Sleep(20);
    }
}

// The text of another process's window, read through the wide call, in UTF-8: what the window
// shows, whatever the system's code page.
std::string s_WindowText(HWND hWnd) {
    wchar_t wszText[1024] = {0};
    DWORD_PTR dwLen = 0;
    SendMessageTimeoutW(hWnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(wszText), SMTO_ABORTIFHUNG, 5000, &dwLen);
    return WideToUtf8(wszText);
}

std::string s_ClassName(HWND hWnd) {
    char szClass[64] = {0};
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    return szClass;
}

// Top-level dialog windows (class #32770) of a process.
struct KDialogSearch {
    DWORD dwProcessId;
    std::vector<HWND> windows;
};

BOOL CALLBACK s_CollectDialog(HWND hWnd, LPARAM lParam) {
    KDialogSearch* pSearch = reinterpret_cast<KDialogSearch*>(lParam);
    DWORD dwOwner = 0;
    GetWindowThreadProcessId(hWnd, &dwOwner);
    if (dwOwner == pSearch->dwProcessId && s_ClassName(hWnd) == "#32770")
        pSearch->windows.push_back(hWnd);
    return TRUE;
}

std::vector<HWND> s_DialogsOf(DWORD dwProcessId) {
    KDialogSearch search = {dwProcessId, {}};
    EnumWindows(s_CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

BOOL CALLBACK s_CollectStaticText(HWND hChild, LPARAM lParam) {
    if (s_ClassName(hChild) == "Static")
        *reinterpret_cast<std::string*>(lParam) += s_WindowText(hChild);
    return TRUE;
}

// The text of a message box: its static texts joined.
std::string s_MessageBoxText(HWND hBox) {
    std::string strText;
    EnumChildWindows(hBox, s_CollectStaticText, reinterpret_cast<LPARAM>(&strText));
    return strText;
}

// The two lines the copy of one package file adds when it succeeds.
std::vector<std::string> s_CopiedLines(const std::string& strGame, const std::string& strPath,
                                       const std::string& strName) {
    std::string strFolder = strGame + "\\" + (strPath == "\\" ? std::string() : strPath);
    return {std::string(u8"·正在复制文件：") + strName, strFolder + std::string(u8" 完成！")};
}

// A package description (GBK) with an optional title and the given (FilePath, FileName) pairs,
// all given in UTF-8.
std::string s_Description(const std::string& strTitle, const std::vector<std::pair<std::string, std::string>>& files) {
    std::string strXml = "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n<Root>\r\n";
    if (!strTitle.empty())
        strXml += "<AppTitle>" + Gbk(strTitle) + "</AppTitle>\r\n";
    // An Application alone, as packages before versions had: such a package installs as it always
    // did (no version check, no version.ini written).
    strXml += "<VersionInfoList><VersionInfo><Application>velmora.exe</Application>"
              "</VersionInfo></VersionInfoList>\r\n<FileList>\r\n";
    for (const auto& file : files)
        strXml += "<File><FilePath>" + Gbk(file.first) + "</FilePath><FileName>" + Gbk(file.second) +
                  "</FileName></File>\r\n";
    return strXml + "</FileList>\r\n</Root>\r\n";
}

// Display settings of the Wine prefix for the suite, put back afterwards; every Wine program
// reads them at its start. Wine's X11 driver draws the window frames itself instead of waiting
// for a window manager (Xvfb has none; every hide would wait two seconds for one). The dialog
// font "宋体" is taken from WenQuanYi Zen Hei Sharp, whose small sizes have every glyph the
// dialog shows (the plain face's 12-pixel bitmaps lack the hyphen of the separator lines).
class KWineDisplaySettings : public ::testing::Environment {
public:
    void SetUp() override {
        Set(L"Software\\Wine\\X11 Driver", L"Managed", L"N");
        Set(L"Software\\Wine\\Fonts\\Replacements", L"\u5b8b\u4f53", L"WenQuanYi Zen Hei Sharp");
        Set(L"Software\\Wine\\Fonts\\Replacements", L"SimSun", L"WenQuanYi Zen Hei Sharp");
    }
    void TearDown() override {
        for (const KSaved& saved : m_Saved) {
            HKEY hKey = nullptr;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, saved.wstrKey.c_str(), 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
                continue;
            if (saved.bHad)
                RegSetValueExW(hKey, saved.wstrName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(saved.wstrOld.c_str()),
                               static_cast<DWORD>((saved.wstrOld.size() + 1) * sizeof(wchar_t)));
            else
                RegDeleteValueW(hKey, saved.wstrName.c_str());
            RegCloseKey(hKey);
        }
    }

private:
    struct KSaved {
        std::wstring wstrKey;
        std::wstring wstrName;
        bool bHad;
        std::wstring wstrOld;
    };
    void Set(const wchar_t* pwszKey, const wchar_t* pwszName, const wchar_t* pwszValue) {
        HKEY hKey = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, pwszKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr) !=
            ERROR_SUCCESS)
            return;
        wchar_t wszOld[256] = {0};
        DWORD dwSize = sizeof(wszOld) - sizeof(wchar_t);
        bool bHad = RegQueryValueExW(hKey, pwszName, nullptr, nullptr, reinterpret_cast<BYTE*>(wszOld), &dwSize) ==
                    ERROR_SUCCESS;
        m_Saved.push_back({pwszKey, pwszName, bHad, wszOld});
        RegSetValueExW(hKey, pwszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(pwszValue),
                       static_cast<DWORD>((wcslen(pwszValue) + 1) * sizeof(wchar_t)));
        RegCloseKey(hKey);
    }

    std::vector<KSaved> m_Saved;
};

// Points the registry's App Paths entry of the game's launcher at a folder while alive, and
// puts the entry back as it was.
class KAppPathsEntry {
public:
    explicit KAppPathsEntry(const std::string& strGame) { m_Saved.SetText(strGame); }

private:
    mwtest::KSavedRegistryValue m_Saved{s_pszAppPathsKey, "Path"};
};

// A top-level window titled like the game's resource-list dialog, on a thread of its own,
// counting the notifications it receives.
class KResourceListWindow {
public:
    KResourceListWindow() {
        m_Thread = std::thread([this]() { Run(); });
        s_WaitUntil([this]() { return m_hWnd.load() != nullptr; }, 5000);
    }
    ~KResourceListWindow() {
        if (m_hWnd.load())
            PostMessageW(m_hWnd.load(), WM_CLOSE, 0, 0);
        m_Thread.join();
    }
    int Notifications() const { return m_nNotifications.load(); }

private:
    static LRESULT CALLBACK s_WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
        KResourceListWindow* pSelf = reinterpret_cast<KResourceListWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (uMsg == WM_RESOURCE_LIST_NOTIFY && pSelf) {
            ++pSelf->m_nNotifications;
            return 0;
        }
        if (uMsg == WM_DESTROY)
            PostQuitMessage(0);
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }
    void Run() {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = s_WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"MendwrightTestResourceList";
        RegisterClassW(&windowClass);
        HWND hWnd = CreateWindowExW(0, windowClass.lpszClassName, s_pwszResourceListTitle, WS_OVERLAPPED, 0, 0, 100,
                                    100, nullptr, nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        m_hWnd = hWnd;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
        m_hWnd = nullptr;
    }

    std::atomic<HWND> m_hWnd{nullptr};
    std::atomic<int> m_nNotifications{0};
    std::thread m_Thread;
};

// One running Mendwright.exe, ended by force if a test leaves it running.
class KMendwright {
public:
    KMendwright() {}
    ~KMendwright() {
        if (m_hProcess) {
            if (WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT)
                mwtest::EndProcessTree(m_hProcess, GetProcessId(m_hProcess), 99);
            WaitForSingleObject(m_hProcess, 5000);
            CloseHandle(m_hProcess);
        }
    }
    KMendwright(const KMendwright&) = delete;
    KMendwright& operator=(const KMendwright&) = delete;

    // Starts strExe with strArguments and waits for its main dialog and the first line of its
    // message list. True when they are there.
    bool Start(const std::string& strExe, const std::string& strArguments = std::string()) {
        std::wstring wstrCommand = Utf8ToWide("\"" + strExe + "\"" + (strArguments.empty() ? "" : " " + strArguments));
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(nullptr, &wstrCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            return false;
        CloseHandle(process.hThread);
        m_hProcess = process.hProcess;
        m_dwProcessId = process.dwProcessId;
        m_dwStartTick = GetTickCount();
        return s_WaitUntil(
            [this]() {
                for (HWND hWnd : s_DialogsOf(m_dwProcessId)) {
                    if (GetDlgItem(hWnd, ID_LIST))
                        m_hDlg = hWnd;
                }
                // The package description has been read once its first line is in the list.
                return m_hDlg && LineCount() > 0;
            },
            20000);
    }

    HWND Dlg() const { return m_hDlg; }
    // True once the modal loop has shown the dialog and given it the focus.
    bool WaitShown() const {
        return s_WaitUntil([this]() { return IsWindowVisible(m_hDlg) && Focus(); }, 10000);
    }
    HWND Item(int nId) const { return GetDlgItem(m_hDlg, nId); }
    DWORD ProcessId() const { return m_dwProcessId; }
    std::string Caption() const { return s_WindowText(m_hDlg); }
    std::string Text(int nId) const { return s_WindowText(Item(nId)); }
    bool Enabled(int nId) const { return IsWindowEnabled(Item(nId)) != FALSE; }
    bool Visible(int nId) const { return IsWindowVisible(Item(nId)) != FALSE; }
    int ProgressPos() const { return static_cast<int>(SendMessageW(Item(ID_PROGRESS), PBM_GETPOS, 0, 0)); }

    // The lines of the message list. Read as UTF-16: Wine hands another process's list text
    // out as UTF-16 whatever the request's character set.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        HWND hList = Item(ID_LIST);
        DWORD_PTR dwCount = 0;
        if (!SendMessageTimeoutW(hList, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &dwCount))
            return lines;
        for (int i = 0; i < static_cast<int>(dwCount); ++i) {
            LRESULT nLen = SendMessageW(hList, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
            if (nLen < 0)
                break;
            std::wstring wstrLine(static_cast<size_t>(nLen) + 1, L'\0');
            SendMessageW(hList, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&wstrLine[0]));
            lines.push_back(WideToUtf8(wstrLine.c_str()));
        }
        return lines;
    }
    int LineCount() const {
        DWORD_PTR dwCount = 0;
        SendMessageTimeoutW(Item(ID_LIST), LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &dwCount);
        return static_cast<int>(dwCount);
    }
    bool HasLine(const std::string& strLine) const {
        for (const std::string& strOne : Lines())
            if (strOne == strLine)
                return true;
        return false;
    }
    bool WaitForLine(const std::string& strLine, DWORD uMs = 20000) const {
        return s_WaitUntil([&]() { return HasLine(strLine); }, uMs);
    }

    // A click on a button, as the button reports it to the dialog.
    void Click(int nId) const { PostMessageW(m_hDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(Item(nId))); }
    // A key pressed while the focus is on hTarget; the dialog's own loop handles it.
    void Key(HWND hTarget, WPARAM wKey) const {
        PostMessageW(hTarget, WM_KEYDOWN, wKey, 1);
        PostMessageW(hTarget, WM_KEYUP, wKey, static_cast<LPARAM>(0xC0000001));
    }
    HWND Focus() const {
        GUITHREADINFO info = {};
        info.cbSize = sizeof(info);
        GetGUIThreadInfo(GetWindowThreadProcessId(m_hDlg, nullptr), &info);
        return info.hwndFocus;
    }
    void SetEditText(const std::string& strText) const {
        SendMessageW(Item(ID_GAME_PATH), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Utf8ToWide(strText).c_str()));
    }

    // A message box of this process other than the main dialog, once one is shown.
    HWND WaitForMessageBox(DWORD uMs = 10000) const {
        HWND hBox = nullptr;
        s_WaitUntil(
            [&]() {
                for (HWND hWnd : s_DialogsOf(m_dwProcessId)) {
                    if (hWnd != m_hDlg && !GetDlgItem(hWnd, ID_LIST) && IsWindowVisible(hWnd)) {
                        hBox = hWnd;
                        return true;
                    }
                }
                return false;
            },
            uMs);
        return hBox;
    }

    // True when the process ended within uMs; its exit code in *pdwExit.
    bool WaitExit(DWORD uMs, DWORD* pdwExit = nullptr) const {
        if (WaitForSingleObject(m_hProcess, uMs) != WAIT_OBJECT_0)
            return false;
        DWORD dwExit = 0;
        GetExitCodeProcess(m_hProcess, &dwExit);
        if (pdwExit)
            *pdwExit = dwExit;
        return true;
    }

    // With MW_SCREENSHOT_DIR set, saves the dialog as it is on screen to <dir>\<strName>.bmp.
    void Screenshot(const std::string& strName) const;

private:
    HANDLE m_hProcess = nullptr;
    DWORD m_dwProcessId = 0;
    DWORD m_dwStartTick = 0;
    HWND m_hDlg = nullptr;
};

void KMendwright::Screenshot(const std::string& strName) const {
    char szDir[MAX_PATH] = {0};
    if (!GetEnvironmentVariableA("MW_SCREENSHOT_DIR", szDir, sizeof(szDir)) || !szDir[0])
        return;
    // Active, as the player sees it.
    SetForegroundWindow(m_hDlg);
    RedrawWindow(m_hDlg, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_FRAME | RDW_ALLCHILDREN);
    Sleep(300);
    RECT rc;
    GetWindowRect(m_hDlg, &rc);
    int nWidth = rc.right - rc.left;
    int nHeight = rc.bottom - rc.top;
    HDC hScreen = GetDC(nullptr);
    HDC hMemory = CreateCompatibleDC(hScreen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = nWidth;
    info.bmiHeader.biHeight = nHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* pBits = nullptr;
    HBITMAP hBitmap = CreateDIBSection(hScreen, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    HGDIOBJ hOld = SelectObject(hMemory, hBitmap);
    BitBlt(hMemory, 0, 0, nWidth, nHeight, hScreen, rc.left, rc.top, SRCCOPY);
    GdiFlush();
    DWORD dwStride = (static_cast<DWORD>(nWidth) * 3 + 3) & ~3u;
    DWORD dwImage = dwStride * static_cast<DWORD>(nHeight);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + dwImage;
    std::string strBytes(reinterpret_cast<const char*>(&file), sizeof(file));
    strBytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
    strBytes.append(static_cast<const char*>(pBits), dwImage);
    WriteFileBytes(std::string(szDir) + "\\" + strName + ".bmp", strBytes);
    SelectObject(hMemory, hOld);
    DeleteObject(hBitmap);
    DeleteDC(hMemory);
    ReleaseDC(nullptr, hScreen);
}

// Every test: a package folder with the installer in it, a game folder that the registry names.
class GuiTest : public ::testing::Test {
protected:
    GuiTest() : m_strPackage(m_Dir / "package"), m_strGame(m_Dir / "game"), m_AppPaths(m_Dir / "game") {
        MakeFolders(m_strPackage);
        MakeFolders(m_strGame);
        // A game folder holds the game's launcher; the stand-in records how it was started.
        CopyFileW(Utf8ToWide((ProgramFolder() + "\\fake_launcher.exe")).c_str(), Utf8ToWide((m_strGame + "\\velmora.exe")).c_str(), FALSE);
        std::string strBin = ProgramFolder();
        CopyFileW(Utf8ToWide((strBin + "\\Mendwright.exe")).c_str(), Utf8ToWide(Exe()).c_str(), FALSE);
        CopyFileW(Utf8ToWide((strBin + "\\engine.dll")).c_str(), Utf8ToWide((m_strPackage + "\\engine.dll")).c_str(), FALSE);
    }
    void SetUp() override {
        char szDisplay[256] = {0};
        if (!GetEnvironmentVariableA("DISPLAY", szDisplay, sizeof(szDisplay)))
            GTEST_SKIP() << "no display";
    }

    std::string Exe() const { return m_strPackage + "\\Mendwright.exe"; }

    // The sample package of the source tree, copied beside the installer.
    void UseSamplePackage() {
        for (const auto& file : SampleFiles()) {
            std::string strFolder = file.first == "\\" ? std::string() : file.first;
            MakeFolders(m_strPackage + "\\" + strFolder);
            std::string strRelative = "examples/package/" + strFolder + file.second;
            for (char& c : strRelative)
                if (c == '\\')
                    c = '/';
            std::string strBytes = ReadFileBytes(mwtest::SourcePath(strRelative));
            WriteFileBytes(m_strPackage + "\\" + strFolder + file.second, strBytes);
        }
        WriteFileBytes(m_strPackage + "\\Update.dat", ReadFileBytes(mwtest::SourcePath("examples/package/Update.dat")));
        // Its art pack merged into the sample game's, whose version it fits.
        MakeFolders(m_strPackage + "\\art");
        WriteFileBytes(m_strPackage + "\\art\\patch.pak", ReadFileBytes(mwtest::SourcePath("examples/package/art/patch.pak")));
        CopyFileW(Utf8ToWide(ProgramFolder() + "\\Cobblepak.dll").c_str(), Utf8ToWide(m_strPackage + "\\Cobblepak.dll").c_str(), FALSE);
        MakeFolders(m_strGame + "\\data");
        WriteFileBytes(m_strGame + "\\data\\art.pak", ReadFileBytes(mwtest::SourcePath("examples/game/data/art.pak")));
        WriteFileBytes(m_strGame + "\\version.ini", ReadFileBytes(mwtest::SourcePath("examples/game/version.ini")));
    }
    static std::vector<std::pair<std::string, std::string>> SampleFiles() {
        return {{"interface\\", "interface.ini"},
                {"interface\\map\\", std::string(u8"小地图.lua")},
                {"interface\\map\\icons\\", "marker.tga"},
                {"interface2\\chat\\", "chat.lua"},
                {"\\", std::string(u8"插件说明.txt")}};
    }

    // A package of nFiles small files: an installation that lasts about a second per 400 files
    // (the dialog shows the lines as fast as the console writes them).
    void UseLargePackage(int nFiles) {
        std::vector<std::pair<std::string, std::string>> files;
        for (int i = 0; i < nFiles; ++i)
            files.push_back(LargePackageFile(i));
        for (int i = 0; i < 3 && i < nFiles; ++i)
            MakeFolders(m_strPackage + "\\" + files[static_cast<size_t>(i)].first);
        std::string strContent(4 * 1024, 'd');
        for (const auto& file : files)
            WriteFileBytes(m_strPackage + "\\" + file.first + file.second, strContent);
        WriteFileBytes(m_strPackage + "\\Update.dat", s_Description(std::string(u8"大型插件"), files));
    }
    static std::pair<std::string, std::string> LargePackageFile(int nIndex) {
        const char* const apszFolders[] = {"interface\\big\\", "interface2\\big\\", "data\\"};
        char szName[32];
        std::snprintf(szName, sizeof(szName), "part%04d.dat", nIndex);
        return {apszFolders[nIndex % 3], szName};
    }

    std::string SampleTitle() const { return std::string(u8"塔恩维克界面插件 1.2.0"); }

    KTempDir m_Dir;
    std::string m_strPackage;
    std::string m_strGame;
    KAppPathsEntry m_AppPaths;
};

std::string s_Line(int nId) {
    switch (nId) {
    case 2002:
        return std::string(u8"·配置文件有误，不能进行升级，请重新下载升级包。");
    case 2011:
        return std::string(u8"搜索到游戏路径，请确认是否正确，然后开始安装或升级插件。");
    case 2012:
        return std::string(u8"·游戏路径有误，请选择正确的游戏路径。");
    case 2014:
        return std::string(u8"·开始复制文件，可能需要几分钟时间，请稍等...");
    case 2022:
        return std::string(u8"·文件复制完成。");
    case 2025:
        return std::string(u8"·正在处理资源文件，请稍等...");
    case 2028:
        return std::string(u8"失败，请重试或重新下载升级包。");
    case 2030:
        return std::string(u8"·升级完成，可以进入游戏。");
    case 2090:
        return std::string(u8"检测到另一个升级程序正在安装到这个游戏目录，请等它完成后再升级。");
    default:
        return std::string();
    }
}

TEST_F(GuiTest, StartUpShowsTitleFolderCaptionsAndControls) {
    UseSamplePackage();
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    EXPECT_EQ(app.Caption(), SampleTitle());
    EXPECT_EQ(app.Text(ID_FRAME), std::string(u8"游戏目录"));
    EXPECT_EQ(app.Text(ID_UPDATE), std::string(u8"更新(&U)"));
    EXPECT_EQ(app.Text(ID_RUN_GAME), std::string(u8"运行游戏(&R)"));
    EXPECT_EQ(app.Text(ID_QUIT), std::string(u8"退出(&X)"));
    EXPECT_EQ(app.Text(ID_GAME_PATH), m_strGame);
    EXPECT_EQ(app.Lines(), std::vector<std::string>{s_Line(2011)});
    EXPECT_TRUE(app.Enabled(ID_UPDATE));
    EXPECT_FALSE(app.Enabled(ID_RUN_GAME));
    EXPECT_TRUE(app.Enabled(ID_QUIT));
    EXPECT_TRUE(app.Enabled(ID_BROWSE));
    EXPECT_FALSE(app.Visible(ID_PROGRESS));
    ASSERT_TRUE(app.WaitShown());

    // The controls of the template.
    LONG nListStyle = GetWindowLongW(app.Item(ID_LIST), GWL_STYLE);
    // (The list shows its scroll bar, and with it WS_VSCROLL, only when the lines need it;
    // Wine draws the border as an extended edge.)
    EXPECT_EQ(nListStyle & (LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_TABSTOP),
              LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_TABSTOP);
    EXPECT_EQ(GetWindowLongW(app.Item(ID_GAME_PATH), GWL_STYLE) & ES_AUTOHSCROLL, ES_AUTOHSCROLL);
    EXPECT_EQ(GetWindowLongW(app.Item(ID_PICTURE), GWL_STYLE) & SS_TYPEMASK, SS_BLACKFRAME);
    EXPECT_EQ(s_ClassName(app.Item(ID_PROGRESS)), "msctls_progress32");
    EXPECT_EQ(GetWindowLongW(app.Item(ID_FRAME), GWL_STYLE) & BS_TYPEMASK, BS_GROUPBOX);
    EXPECT_EQ(app.Text(ID_BROWSE), "...");
    LONG nDlgStyle = GetWindowLongW(app.Dlg(), GWL_STYLE);
    EXPECT_EQ(nDlgStyle & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_EQ(nDlgStyle & WS_MAXIMIZEBOX, 0);
    EXPECT_TRUE(GetWindowLongW(app.Dlg(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
    // No default button: the focus starts on the first tab stop, Quit.
    EXPECT_EQ(app.Focus(), app.Item(ID_QUIT));

    // Centred in the work area.
    RECT rcWindow;
    RECT rcWork;
    GetWindowRect(app.Dlg(), &rcWindow);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    EXPECT_NEAR((rcWindow.left + rcWindow.right) / 2, (rcWork.left + rcWork.right) / 2, 2);
    EXPECT_NEAR((rcWindow.top + rcWindow.bottom) / 2, (rcWork.top + rcWork.bottom) / 2, 2);
    app.Screenshot("startup");
}

TEST_F(GuiTest, StartUpWithoutTitleOrUsableFolder) {
    std::string strMissing = m_Dir / "nowhere";
    KAppPathsEntry missing(strMissing);
    WriteFileBytes(m_strPackage + "\\Update.dat", s_Description("", {{"\\", "a.txt"}}));
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    EXPECT_EQ(app.Caption(), "Tarnwick");
    EXPECT_EQ(app.Text(ID_GAME_PATH), strMissing);
    EXPECT_EQ(app.Lines(), std::vector<std::string>{s_Line(2012)});
}

TEST_F(GuiTest, StartUpWithoutDescription) {
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    EXPECT_EQ(app.Caption(), "Tarnwick");
    EXPECT_EQ(app.Text(ID_GAME_PATH), "");
    EXPECT_EQ(app.Lines(), std::vector<std::string>{s_Line(2002)});
    EXPECT_TRUE(app.Enabled(ID_UPDATE));
}

TEST_F(GuiTest, UpdateWithEmptyFolderReportsAndStaysFailed) {
    UseSamplePackage();
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    app.SetEditText("");
    app.Click(ID_UPDATE);
    ASSERT_TRUE(s_WaitUntil([&]() { return app.Lines().size() == 2; }, 10000));
    EXPECT_EQ(app.Lines(), (std::vector<std::string>{s_Line(2011), s_Line(2012)}));
    EXPECT_TRUE(app.Enabled(ID_UPDATE));
    EXPECT_FALSE(app.Enabled(ID_RUN_GAME));
    EXPECT_FALSE(app.Visible(ID_PROGRESS));
    EXPECT_EQ(app.ProgressPos(), 0);
    // A folder that does not exist is refused the same way.
    app.SetEditText(m_Dir / "nowhere");
    app.Click(ID_UPDATE);
    ASSERT_TRUE(s_WaitUntil([&]() { return app.Lines().size() == 3; }, 10000));
    EXPECT_EQ(app.Lines().back(), s_Line(2012));
    EXPECT_FALSE(FileExists(m_Dir / "nowhere"));
}

TEST_F(GuiTest, FullInstallationThenRunGameStartsTheGameAndEnds) {
    UseSamplePackage();
    MakeFolders(m_strGame + "\\interface\\old");
    WriteFileBytes(m_strGame + "\\interface\\old\\stale.lua", "stale");
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    app.Click(ID_UPDATE);
    ASSERT_TRUE(s_WaitUntil([&]() { return app.Enabled(ID_RUN_GAME); }, 20000));

    std::vector<std::string> expected = {s_Line(2011), s_Line(2014), std::string(48, '-'),
                                         std::string(u8"清除老插件interface成功！")};
    for (const auto& file : SampleFiles()) {
        std::vector<std::string> lines = s_CopiedLines(m_strGame, file.first, file.second);
        expected.insert(expected.end(), lines.begin(), lines.end());
    }
    expected.push_back(s_Line(2025));
    expected.push_back(s_Line(2022));
    expected.push_back(s_Line(2030));
    expected.push_back(std::string(54, '-'));
    EXPECT_EQ(app.Lines(), expected);
    EXPECT_FALSE(app.Enabled(ID_UPDATE));
    EXPECT_TRUE(app.Enabled(ID_RUN_GAME));
    EXPECT_FALSE(app.Visible(ID_PROGRESS));
    // One step per file, hidden with its position kept.
    EXPECT_EQ(app.ProgressPos(), 10 * static_cast<int>(SampleFiles().size()));
    EXPECT_FALSE(FileExists(m_strGame + "\\interface\\old\\stale.lua"));
    EXPECT_EQ(ReadFileBytes(m_strGame + "\\" + std::string(u8"插件说明.txt")),
              ReadFileBytes(m_strPackage + "\\" + std::string(u8"插件说明.txt")));
    app.Screenshot("installed");

    app.Click(ID_RUN_GAME);
    DWORD dwExit = 1;
    ASSERT_TRUE(app.WaitExit(10000, &dwExit));
    EXPECT_EQ(dwExit, 0u);
    ASSERT_TRUE(s_WaitUntil([&]() { return FileExists(m_strGame + "\\launched.txt"); }, 10000));
    std::string strRecord = ReadFileBytes(m_strGame + "\\launched.txt");
    EXPECT_EQ(strRecord.substr(0, strRecord.find('\n')), m_strGame);
}

TEST_F(GuiTest, VersionQuestionsInstallOnlyWhenThePlayerSaysSo) {
    // The sample package makes the game 1.2.0 from 1.1.0. The same version asks 2006; an older
    // game than the package's base asks 2005, whose OK starts the game's own updater (its launcher)
    // and ends the installer. The installing case comes last: the others must find nothing in.
    UseSamplePackage();
    CopyFileW(Utf8ToWide(ProgramFolder() + "\\fake_launcher.exe").c_str(), Utf8ToWide(m_strGame + "\\velmora.exe").c_str(),
              FALSE);
    const std::string strSame = "[Version]\r\nvelmora.exe=1.2.0\r\ngame.exe=1.2.0\r\n";
    const std::string strTooOld = "[Version]\r\nvelmora.exe=1.0\r\ngame.exe=1.0\r\n";
    const struct {
        const std::string* pstrVersions;
        int nQuestion;
        int nAnswer;
        bool bInstalls;
        bool bLaunches;
    } cases[] = {
        {&strSame, 2006, IDNO, false, false},
        {&strTooOld, 2005, IDCANCEL, false, false},
        {&strTooOld, 2005, IDOK, false, true},
        {&strSame, 2006, IDYES, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.nQuestion) + " answered " + std::to_string(c.nAnswer));
        WriteFileBytes(m_strGame + "\\version.ini", *c.pstrVersions);
        DeleteFileW(Utf8ToWide(m_strGame + "\\launched.txt").c_str());
        KMendwright app;
        ASSERT_TRUE(app.Start(Exe()));
        app.Click(ID_UPDATE);
        HWND hBox = app.WaitForMessageBox();
        ASSERT_NE(hBox, nullptr);
        EXPECT_EQ(s_MessageBoxText(hBox), c.nQuestion == 2006 ? std::string(u8"本地已经是最新版本，是否继续安装？")
                                                              : std::string(u8"当前游戏版本太低，不能进行升级，点击确定按钮运行自动升级程序。"));
        PostMessageW(hBox, WM_COMMAND, static_cast<WPARAM>(c.nAnswer), 0);
        if (c.bLaunches) {
            EXPECT_TRUE(app.WaitExit(10000));
            EXPECT_TRUE(s_WaitUntil([&]() { return FileExists(m_strGame + "\\launched.txt"); }, 10000));
        } else {
            EXPECT_EQ(s_WaitUntil([&]() { return app.Enabled(ID_RUN_GAME); }, c.bInstalls ? 20000 : 1000), c.bInstalls);
            app.Click(ID_QUIT);
            EXPECT_TRUE(app.WaitExit(8000));
        }
        EXPECT_EQ(FileExists(m_strGame + "\\interface\\interface.ini"), c.bInstalls);
        EXPECT_EQ(ReadFileBytes(m_strGame + "\\version.ini").find("velmora.exe=1.2.0") != std::string::npos,
                  c.bInstalls || c.pstrVersions == &strSame);
    }
}

TEST_F(GuiTest, FailedInstallationCanBeRetried) {
    MakeFolders(m_strPackage + "\\ui");
    WriteFileBytes(m_strPackage + "\\ui\\one.lua", "one");
    WriteFileBytes(m_strPackage + "\\Update.dat",
                   s_Description("Retry", {{"ui\\", "one.lua"}, {"ui\\", "two.lua"}, {"ui\\", "three.lua"}}));
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    app.Click(ID_UPDATE);
    // A package missing a file is refused before the game folder is touched.
    const std::string strMissing = std::string(u8"·升级包中缺少文件ui\\two.lua，请重新下载升级包。");
    ASSERT_TRUE(app.WaitForLine(strMissing));
    ASSERT_TRUE(s_WaitUntil([&]() { return app.Enabled(ID_UPDATE); }, 10000));

    // Refused by the plan before the run starts: no copy begins, only the reason is shown.
    std::vector<std::string> expected = {s_Line(2011), strMissing};
    EXPECT_EQ(app.Lines(), expected);
    EXPECT_FALSE(FileExists(m_strGame + "\\ui"));
    EXPECT_TRUE(app.Enabled(ID_UPDATE));
    EXPECT_FALSE(app.Enabled(ID_RUN_GAME));
    EXPECT_FALSE(app.Visible(ID_PROGRESS));
    EXPECT_EQ(app.ProgressPos(), 0);

    // The update semaphore was let go at the end of the failed run: the next run proceeds.
    WriteFileBytes(m_strPackage + "\\ui\\two.lua", "two");
    WriteFileBytes(m_strPackage + "\\ui\\three.lua", "three");
    app.Click(ID_UPDATE);
    ASSERT_TRUE(app.WaitForLine(s_Line(2022)));
    ASSERT_TRUE(s_WaitUntil([&]() { return app.Enabled(ID_RUN_GAME); }, 10000));
    EXPECT_FALSE(app.Enabled(ID_UPDATE));
    EXPECT_EQ(ReadFileBytes(m_strGame + "\\ui\\three.lua"), "three");
    app.Click(ID_QUIT);
    EXPECT_TRUE(app.WaitExit(10000));
}

// A Cobblepak.dll that crashes inside the merge takes only its child along: the dialog says the
// merge failed and the folder is restored, offers Update again, and the game folder is as it was.
TEST_F(GuiTest, ACrashingCobblepakIsReportedAndTheFolderRestored) {
    WriteFileBytes(m_strPackage + "\\art.pak", mwtest::PackBytes(100, 50, 'p'));
    CopyFileA((ProgramFolder() + "\\faulty_cobblepak.dll").c_str(), (m_strPackage + "\\Cobblepak.dll").c_str(), FALSE);
    std::string strXml = s_Description("Faulty", {});
    strXml.insert(strXml.find("</Root>"), "<PackList><Pack><Source>art.pak</Source><Target>data\\art.pak</Target></Pack></PackList>\r\n");
    WriteFileBytes(m_strPackage + "\\Update.dat", strXml);
    MakeFolders(m_strGame + "\\data");
    MakeFolders(m_strGame + "\\resource");  // made by the resource check before any change
    WriteFileBytes(m_strGame + "\\data\\art.pak", mwtest::PackBytes(0, 100, 'g'));
    const std::map<std::string, std::string> before = mwtest::TreeSnapshot(m_strGame);
    SetEnvironmentVariableA("COBBLEPAK_FAULT", "crash");
    KMendwright app;
    bool bStarted = app.Start(Exe());
    SetEnvironmentVariableA("COBBLEPAK_FAULT", nullptr);
    ASSERT_TRUE(bStarted);
    app.Click(ID_UPDATE);
    ASSERT_TRUE(app.WaitForLine(u8"·安装没有完成，游戏目录已恢复原状。"));
    ASSERT_TRUE(s_WaitUntil([&]() { return app.Enabled(ID_UPDATE); }, 10000));
    std::vector<std::string> lines = app.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(u8"Cobblepak.dll调用失败，请重试或重新下载升级包。", lines[lines.size() - 2]);
    EXPECT_FALSE(app.Enabled(ID_RUN_GAME));
    EXPECT_EQ(before, mwtest::TreeSnapshot(m_strGame));
    app.Click(ID_QUIT);
    EXPECT_TRUE(app.WaitExit(10000));
}

// A few hundred files: the lines reach the list in batches, yet every one arrives, in order,
// before the end of the installation is shown (the lines are read the moment Run Game is
// enabled), and the list ends on its last line, selected and in view.
TEST_F(GuiTest, ManyFilesShowEveryLineInOrderBeforeTheEnd) {
    const int nFiles = 300;
    UseLargePackage(nFiles);
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    app.Click(ID_UPDATE);
    ASSERT_TRUE(s_WaitUntil([&]() { return app.Enabled(ID_RUN_GAME); }, 60000));
    std::vector<std::string> lines = app.Lines();

    std::vector<std::string> expected = {s_Line(2011), s_Line(2014), std::string(48, '-')};
    for (int i = 0; i < nFiles; ++i) {
        std::pair<std::string, std::string> file = LargePackageFile(i);
        std::vector<std::string> copied = s_CopiedLines(m_strGame, file.first, file.second);
        expected.insert(expected.end(), copied.begin(), copied.end());
    }
    expected.push_back(s_Line(2022));
    expected.push_back(std::string(54, '-'));
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(lines[i], expected[i]) << "line " << i;

    HWND hList = app.Item(ID_LIST);
    int nLast = static_cast<int>(expected.size()) - 1;
    EXPECT_EQ(SendMessageW(hList, LB_GETCURSEL, 0, 0), nLast);
    RECT rcClient;
    GetClientRect(hList, &rcClient);
    int nTop = static_cast<int>(SendMessageW(hList, LB_GETTOPINDEX, 0, 0));
    int nItemHeight = static_cast<int>(SendMessageW(hList, LB_GETITEMHEIGHT, 0, 0));
    ASSERT_GT(nItemHeight, 0);
    EXPECT_LE(nTop, nLast);
    EXPECT_LE((nLast - nTop + 1) * nItemHeight, rcClient.bottom);
    EXPECT_TRUE(IsWindowVisible(hList));
    // The folder lines are wider than the list: it scrolls sideways.
    EXPECT_GT(SendMessageW(hList, LB_GETHORIZONTALEXTENT, 0, 0), rcClient.right);

    EXPECT_FALSE(app.Enabled(ID_UPDATE));
    EXPECT_TRUE(app.Enabled(ID_RUN_GAME));
    EXPECT_TRUE(app.Enabled(ID_QUIT));
    EXPECT_FALSE(app.Visible(ID_PROGRESS));
    std::pair<std::string, std::string> last = LargePackageFile(nFiles - 1);
    EXPECT_TRUE(FileExists(m_strGame + "\\" + last.first + last.second));
    app.Screenshot("many_files");
    app.Click(ID_QUIT);
    EXPECT_TRUE(app.WaitExit(10000));
}

// The ways out of the dialog while a long installation runs.
enum KQuitWay { QUIT_BUTTON, QUIT_ESC_KEY, QUIT_CLOSE_BOX, QUIT_TRAY_MENU, QUIT_ENTER_IN_EDIT };

// Milliseconds to start the tests' helper program with no arguments and see it end.
DWORD s_IdleProcessMs() {
    std::wstring wstrCommand = Utf8ToWide("\"" + mwtest::ProgramFolder() + "\\hold.exe\"");
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    DWORD dwStart = GetTickCount();
    if (!CreateProcessW(nullptr, &wstrCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 0;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return GetTickCount() - dwStart;
}

class GuiQuitTest : public GuiTest, public ::testing::WithParamInterface<KQuitWay> {};

TEST_P(GuiQuitTest, EndsPromptlyDuringALargeCopy) {
    // Long enough that the installation is still running when the test quits, even under load.
    const int nFiles = 3000;
    UseLargePackage(nFiles);
    // The resource check makes this folder before the installation; all else must come back.
    MakeFolders(m_strGame + "\\resource");
    const std::map<std::string, std::string> before = mwtest::TreeSnapshot(m_strGame);
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    std::string strSemaphore = MakeSemaphoreName("UPDATE", m_strGame.c_str());
    EXPECT_EQ(IsSemaphoreExist(strSemaphore.c_str()), 0);
    app.Click(ID_UPDATE);
    ASSERT_TRUE(s_WaitUntil([&]() { return app.LineCount() > 40; }, 20000));
    // The installation runs and holds the update semaphore. (Quick looks only: every moment
    // here is more files to put back.)
    ASSERT_FALSE(app.Enabled(ID_RUN_GAME));
    ASSERT_FALSE(app.Enabled(ID_UPDATE));
    EXPECT_TRUE(app.Visible(ID_PROGRESS));
    EXPECT_EQ(IsSemaphoreExist(strSemaphore.c_str()), 1);
    if (GetParam() == QUIT_BUTTON)
        app.Screenshot("installing");

    DWORD dwStart = GetTickCount();
    switch (GetParam()) {
    case QUIT_BUTTON:
        app.Click(ID_QUIT);
        break;
    case QUIT_ESC_KEY:
        app.Key(app.Focus(), VK_ESCAPE);
        break;
    case QUIT_CLOSE_BOX:
        PostMessageW(app.Dlg(), WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case QUIT_TRAY_MENU:
        PostMessageW(app.Dlg(), WM_COMMAND, ID_TRAY_EXIT, 0);
        break;
    case QUIT_ENTER_IN_EDIT:
        // The edit box takes the focus; Enter there is the dialog's OK command.
        PostMessageW(app.Dlg(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(app.Item(ID_GAME_PATH)), TRUE);
        ASSERT_TRUE(s_WaitUntil([&]() { return app.Focus() == app.Item(ID_GAME_PATH); }, 5000));
        app.Key(app.Item(ID_GAME_PATH), VK_RETURN);
        break;
    }
    DWORD dwExit = 1;
    ASSERT_TRUE(app.WaitExit(8000, &dwExit));
    // Two seconds of the program's own, plus what this machine takes right now to start and end
    // a process that does nothing: under load or emulation that share grows, the program's not.
    DWORD dwQuit = GetTickCount() - dwStart;
    DWORD dwPlatform = s_IdleProcessMs();
    EXPECT_LT(dwQuit, 2000u + dwPlatform) << "the platform's share: " << dwPlatform << " ms";
    EXPECT_EQ(dwExit, 0u);
    EXPECT_EQ(IsSemaphoreExist(strSemaphore.c_str()), 0);
    // Stopped in the middle, and the game folder put back as it was.
    EXPECT_EQ(mwtest::TreeSnapshot(m_strGame), before);
}

INSTANTIATE_TEST_SUITE_P(Ways, GuiQuitTest,
                         ::testing::Values(QUIT_BUTTON, QUIT_ESC_KEY, QUIT_CLOSE_BOX, QUIT_TRAY_MENU,
                                           QUIT_ENTER_IN_EDIT));

TEST_F(GuiTest, EnterRightAfterStartPressesQuit) {
    UseSamplePackage();
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    ASSERT_TRUE(app.WaitShown());
    ASSERT_EQ(app.Focus(), app.Item(ID_QUIT));
    app.Key(app.Item(ID_QUIT), VK_RETURN);
    DWORD dwExit = 1;
    ASSERT_TRUE(app.WaitExit(8000, &dwExit));
    EXPECT_EQ(dwExit, 0u);
}

TEST_F(GuiTest, MinimiseHidesIntoTheTrayAndTheIconRestoresTheStartPosition) {
    UseSamplePackage();
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    ASSERT_TRUE(app.WaitShown());
    RECT rcStart;
    GetWindowRect(app.Dlg(), &rcStart);
    SetWindowPos(app.Dlg(), nullptr, 20, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_TRUE(s_WaitUntil(
        [&]() {
            RECT rc;
            GetWindowRect(app.Dlg(), &rc);
            return rc.left == 20;
        },
        5000));

    PostMessageW(app.Dlg(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(s_WaitUntil([&]() { return !IsWindowVisible(app.Dlg()); }, 5000));
    // Other mouse messages, and another icon's, leave it hidden.
    SendMessageW(app.Dlg(), WM_TRAY_NOTIFY, 100, WM_RBUTTONDBLCLK);
    SendMessageW(app.Dlg(), WM_TRAY_NOTIFY, 100, WM_MOUSEMOVE);
    SendMessageW(app.Dlg(), WM_TRAY_NOTIFY, 101, WM_LBUTTONDBLCLK);
    EXPECT_FALSE(IsWindowVisible(app.Dlg()));

    EXPECT_EQ(SendMessageW(app.Dlg(), WM_TRAY_NOTIFY, 100, WM_LBUTTONDBLCLK), 1);
    ASSERT_TRUE(s_WaitUntil([&]() { return IsWindowVisible(app.Dlg()) && !IsIconic(app.Dlg()); }, 5000));
    RECT rcShown;
    ASSERT_TRUE(s_WaitUntil(
        [&]() {
            GetWindowRect(app.Dlg(), &rcShown);
            return EqualRect(&rcShown, &rcStart) != FALSE;
        },
        5000));
    EXPECT_TRUE(GetWindowLongW(app.Dlg(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_FALSE(GetWindowLongW(app.Dlg(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);

    // The menu's first command on a window that is shown: back to the start position.
    SetWindowPos(app.Dlg(), nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    PostMessageW(app.Dlg(), WM_COMMAND, ID_TRAY_SHOW, 0);
    EXPECT_TRUE(s_WaitUntil(
        [&]() {
            GetWindowRect(app.Dlg(), &rcShown);
            return EqualRect(&rcShown, &rcStart) != FALSE;
        },
        5000));
    app.Click(ID_QUIT);
    EXPECT_TRUE(app.WaitExit(10000));
}

// Visible top-level windows of a class in a process.
struct KClassSearch {
    DWORD dwProcessId;
    const char* pszClass;
    HWND hFound;
};

BOOL CALLBACK s_FindVisibleOfClass(HWND hWnd, LPARAM lParam) {
    KClassSearch* pSearch = reinterpret_cast<KClassSearch*>(lParam);
    DWORD dwOwner = 0;
    GetWindowThreadProcessId(hWnd, &dwOwner);
    if (dwOwner == pSearch->dwProcessId && IsWindowVisible(hWnd) && s_ClassName(hWnd) == pSearch->pszClass) {
        pSearch->hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

HWND s_WaitForWindowOfClass(DWORD dwProcessId, const char* pszClass, DWORD uMs) {
    KClassSearch search = {dwProcessId, pszClass, nullptr};
    s_WaitUntil(
        [&]() {
            EnumWindows(s_FindVisibleOfClass, reinterpret_cast<LPARAM>(&search));
            return search.hFound != nullptr;
        },
        uMs);
    return search.hFound;
}

TEST_F(GuiTest, TrayMenuOpensAndTheAboutBoxShowsTheProduct) {
    UseSamplePackage();
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    ASSERT_TRUE(app.WaitShown());

    // A right click on the icon opens the popup menu at the cursor; Esc closes it.
    PostMessageW(app.Dlg(), WM_TRAY_NOTIFY, 100, WM_RBUTTONDOWN);
    HWND hMenu = s_WaitForWindowOfClass(app.ProcessId(), "#32768", 5000);
    ASSERT_NE(hMenu, nullptr);
    app.Key(hMenu, VK_ESCAPE);
    EXPECT_TRUE(s_WaitUntil([&]() { return !IsWindowVisible(hMenu); }, 5000));

    // "关于...(&A)": the About box, modal on the dialog.
    PostMessageW(app.Dlg(), WM_COMMAND, ID_TRAY_ABOUT, 0);
    HWND hAbout = app.WaitForMessageBox();
    ASSERT_NE(hAbout, nullptr);
    EXPECT_EQ(s_WindowText(hAbout), "Tarnwick");
    EXPECT_NE(s_MessageBoxText(hAbout).find(std::string(u8"Tarnwick手动安装程序 V1.1")), std::string::npos);
    EXPECT_FALSE(IsWindowEnabled(app.Dlg()));
    PostMessageW(hAbout, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(s_WaitUntil([&]() { return !IsWindow(hAbout); }, 5000));
    EXPECT_TRUE(IsWindowEnabled(app.Dlg()));

    // The dialog ending while the menu is open (as the unattended start's timed quit may) closes
    // the menu too: the process does not wait for the player to dismiss it.
    PostMessageW(app.Dlg(), WM_TRAY_NOTIFY, 100, WM_RBUTTONDOWN);
    ASSERT_NE(s_WaitForWindowOfClass(app.ProcessId(), "#32768", 5000), nullptr);
    app.Click(ID_QUIT);
    EXPECT_TRUE(app.WaitExit(10000));
}

TEST_F(GuiTest, BrowseCancelledPutsBackTheFolderLastTakenOver) {
    UseSamplePackage();
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    ASSERT_TRUE(app.WaitShown());
    // Typed, not taken over by Update: the browser replaces it even when cancelled.
    app.SetEditText("D:\\typed");
    app.Click(ID_BROWSE);
    HWND hBrowser = app.WaitForMessageBox();
    ASSERT_NE(hBrowser, nullptr);
    EXPECT_EQ(s_WindowText(hBrowser).empty(), false);
    EXPECT_NE(s_MessageBoxText(hBrowser).find(std::string(u8"选择游戏路径")), std::string::npos);
    PostMessageW(hBrowser, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(s_WaitUntil([&]() { return !IsWindow(hBrowser); }, 5000));
    EXPECT_TRUE(s_WaitUntil([&]() { return app.Text(ID_GAME_PATH) == m_strGame; }, 5000));
    app.Click(ID_QUIT);
    EXPECT_TRUE(app.WaitExit(10000));
}

TEST_F(GuiTest, SecondCopyOnTheSameFolderRefusesWhileTheFirstInstalls) {
    // The second program is started first, so that the first installation need only outlast a
    // click.
    UseLargePackage(4000);
    KMendwright first;
    ASSERT_TRUE(first.Start(Exe()));
    KMendwright second;
    ASSERT_TRUE(second.Start(Exe()));
    ASSERT_TRUE(second.WaitShown());
    first.Click(ID_UPDATE);
    ASSERT_TRUE(s_WaitUntil([&]() { return first.LineCount() > 20; }, 20000));
    // Still installing: the first holds the folder's update semaphore. (Reading its thousands of
    // lines here would take longer than the rest of its installation.)
    ASSERT_EQ(IsSemaphoreExist(MakeSemaphoreName("UPDATE", m_strGame.c_str())), 1);
    second.Click(ID_UPDATE);
    HWND hBox = second.WaitForMessageBox();
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(s_WindowText(hBox), "Tarnwick");
    // Another installation, not a running game: the player is not sent looking for one.
    EXPECT_EQ(s_MessageBoxText(hBox), s_Line(2090));
    PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(s_WaitUntil([&]() { return !IsWindow(hBox); }, 5000));
    EXPECT_EQ(second.Lines(), std::vector<std::string>{s_Line(2011)});
    EXPECT_TRUE(second.Enabled(ID_UPDATE));
    EXPECT_FALSE(second.Enabled(ID_RUN_GAME));
    EXPECT_FALSE(second.Visible(ID_PROGRESS));

    // Once the first copy has ended, the second may install. (It is let finish: stopped, it
    // would first put back every file of the package.)
    ASSERT_TRUE(s_WaitUntil([&]() { return first.Enabled(ID_RUN_GAME); }, 120000));
    // A dialog holds the update semaphore only while it installs.
    EXPECT_EQ(IsSemaphoreExist(MakeSemaphoreName("UPDATE", m_strGame.c_str())), 0);
    first.Click(ID_QUIT);
    ASSERT_TRUE(first.WaitExit(8000));
    second.Click(ID_UPDATE);
    EXPECT_TRUE(second.WaitForLine(s_Line(2014), 10000));
    EXPECT_EQ(second.WaitForMessageBox(200), nullptr);
    second.Click(ID_QUIT);
    EXPECT_TRUE(second.WaitExit(8000));
}

TEST_F(GuiTest, UpdatePressedAgainStartsNoSecondInstallation) {
    // Long enough to be still running after the third press, even under load.
    UseLargePackage(8000);
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    // Both presses are queued before the worker can disable the button.
    app.Click(ID_UPDATE);
    app.Click(ID_UPDATE);
    ASSERT_TRUE(s_WaitUntil([&]() { return app.LineCount() > 20; }, 20000));
    // A press that reaches the dialog while the installation runs (the button is disabled, the
    // click is sent) must not be taken for an update of another program.
    ASSERT_FALSE(app.Enabled(ID_UPDATE));
    app.Click(ID_UPDATE);
    EXPECT_EQ(app.WaitForMessageBox(700), nullptr);
    EXPECT_FALSE(app.Enabled(ID_UPDATE));
    EXPECT_TRUE(app.Visible(ID_PROGRESS));
    // Checked before the lines are read: reading them all takes as long as the installation.
    EXPECT_EQ(IsSemaphoreExist(MakeSemaphoreName("UPDATE", m_strGame.c_str())), 1);
    std::vector<std::string> lines = app.Lines();
    int nStarts = 0;
    for (const std::string& strLine : lines)
        nStarts += strLine == s_Line(2014);
    EXPECT_EQ(nStarts, 1);
    // The one installation ends as usual.
    ASSERT_TRUE(s_WaitUntil([&]() { return app.Enabled(ID_RUN_GAME); }, 120000));
    nStarts = 0;
    for (const std::string& strLine : app.Lines())
        nStarts += strLine == s_Line(2014);
    EXPECT_EQ(nStarts, 1);
    app.Click(ID_QUIT);
    EXPECT_TRUE(app.WaitExit(8000));
}

// The unattended start: packages named on the command line, handoff files in the temporary
// folder that name the game folder.
class GuiUnattendedTest : public GuiTest {
protected:
    GuiUnattendedTest() {
        GetTempFolderU8(&m_strTemp);
        MakeFolders(m_strGame + "\\resource");
        WriteFileBytes(m_strGame + "\\resource\\resource.ini",
                       "[mwtest_pkgA]\r\ntitle=A\r\n[mwtest_pkgB]\r\ntitle=B\r\n[mwtest_pkgC]\r\ntitle=C\r\n");
        WriteFileBytes(m_strGame + "\\resource\\resinstall.ini",
                       "[mwtest_pkgA]\r\ninstall=0\r\n[mwtest_pkgC]\r\ninstall=1\r\n");
        // The registry names another folder: the handoff file wins.
        m_AppPathsElsewhere.reset(new KAppPathsEntry(m_Dir / "elsewhere"));
    }
    ~GuiUnattendedTest() override {
        for (const std::string& strName : m_Names)
            DeleteFileU8(HandoffFile(strName).c_str());
    }
    std::string HandoffFile(const std::string& strName) const { return m_strTemp + strName + ".ini"; }
    void HandOver(const std::string& strName) {
        m_Names.push_back(strName);
        // Written by the game's ANSI programs.
        WriteFileBytes(HandoffFile(strName), "[Tarnwick]\r\nGamePath=" + Ansi(m_strGame) + "\r\n");
    }
    int InstallValue(const std::string& strName) const {
        return static_cast<int>(GetPrivateProfileIntW(Utf8ToWide(strName).c_str(), L"install", -9,
                                                      Utf8ToWide(m_strGame + "\\resource\\resinstall.ini").c_str()));
    }

    std::string m_strTemp;
    std::vector<std::string> m_Names;
    std::unique_ptr<KAppPathsEntry> m_AppPathsElsewhere;
};

TEST_F(GuiUnattendedTest, InstallsHiddenNotifiesAndQuitsFiveSecondsAfterSuccess) {
    UseSamplePackage();
    HandOver("mwtest_pkgA");
    HandOver("mwtest_pkgB");
    KResourceListWindow resourceList;
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe(), "mwtest_pkgA mwtest_pkgB"));
    EXPECT_EQ(app.Text(ID_GAME_PATH), m_strGame);
    // Runs by itself, hidden: the modal loop shows the window once, without size, and it is
    // hidden again at once.
    DWORD dwDone = 0;
    bool bShownWithSize = false;
    auto fnShownWithSize = [&]() {
        RECT rc;
        return IsWindowVisible(app.Dlg()) && GetWindowRect(app.Dlg(), &rc) && rc.right > rc.left;
    };
    ASSERT_TRUE(s_WaitUntil(
        [&]() {
            bShownWithSize = bShownWithSize || fnShownWithSize();
            return app.HasLine(s_Line(2022));
        },
        20000));
    dwDone = GetTickCount();
    EXPECT_FALSE(bShownWithSize);
    EXPECT_FALSE(IsWindowVisible(app.Dlg()));
    EXPECT_TRUE(GetWindowLongW(app.Dlg(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(app.Lines().front(), s_Line(2011));
    EXPECT_EQ(InstallValue("mwtest_pkgA"), 2);
    EXPECT_EQ(InstallValue("mwtest_pkgB"), 2);
    EXPECT_EQ(InstallValue("mwtest_pkgC"), 1);
    EXPECT_TRUE(FileExists(m_strGame + "\\interface2\\chat\\chat.lua"));
    EXPECT_TRUE(FileExists(HandoffFile("mwtest_pkgA")));

    DWORD dwExit = 1;
    ASSERT_TRUE(app.WaitExit(12000, &dwExit));
    DWORD dwAfter = GetTickCount() - dwDone;
    EXPECT_GE(dwAfter, 4500u);
    EXPECT_LE(dwAfter, 9000u);
    EXPECT_EQ(dwExit, 0u);
    // Told at the start and after the installation.
    EXPECT_EQ(resourceList.Notifications(), 2);
    EXPECT_FALSE(FileExists(HandoffFile("mwtest_pkgA")));
    EXPECT_FALSE(FileExists(HandoffFile("mwtest_pkgB")));
}

TEST_F(GuiUnattendedTest, AsksBeforeReinstallingAnInstalledPackage) {
    UseSamplePackage();
    HandOver("mwtest_pkgC");
    KResourceListWindow resourceList;
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe(), "mwtest_pkgC"));
    HWND hBox = app.WaitForMessageBox();
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(s_WindowText(hBox), "Tarnwick");
    EXPECT_EQ(s_MessageBoxText(hBox), std::string(u8"检测到本地已经安装了升级包内的美术资源，是否继续安装？"));
    PostMessageW(hBox, WM_COMMAND, IDNO, 0);
    ASSERT_TRUE(s_WaitUntil([&]() { return !IsWindow(hBox); }, 5000));
    // Declined: nothing installed, the window stays hidden and waits for the player.
    EXPECT_TRUE(s_WaitUntil([&]() { return app.Enabled(ID_UPDATE); }, 5000));
    EXPECT_EQ(app.Lines(), std::vector<std::string>{s_Line(2011)});
    EXPECT_TRUE(s_WaitUntil([&]() { return !IsWindowVisible(app.Dlg()); }, 5000));
    Sleep(300);
    EXPECT_FALSE(IsWindowVisible(app.Dlg()));
    EXPECT_EQ(InstallValue("mwtest_pkgC"), 1);
    EXPECT_FALSE(app.WaitExit(1000));
    EXPECT_TRUE(FileExists(HandoffFile("mwtest_pkgC")));
    EXPECT_EQ(resourceList.Notifications(), 1);

    app.Click(ID_QUIT);
    ASSERT_TRUE(app.WaitExit(8000));
    EXPECT_FALSE(FileExists(HandoffFile("mwtest_pkgC")));
}

// Visible dialog windows of a process other than its main dialog (message boxes, the About box).
std::vector<HWND> s_OtherDialogs(const KMendwright& app) {
    std::vector<HWND> boxes;
    for (HWND hWnd : s_DialogsOf(app.ProcessId())) {
        if (hWnd != app.Dlg() && IsWindowVisible(hWnd))
            boxes.push_back(hWnd);
    }
    return boxes;
}

// True when the shell knows the dialog's tray icon: a change to it is accepted only then.
bool s_TrayIconShown(HWND hDlg) {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = hDlg;
    data.uID = 100;
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

// True while the dialog's thread answers within five seconds.
bool s_Answers(HWND hDlg) {
    DWORD_PTR dwResult = 0;
    return SendMessageTimeoutW(hDlg, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &dwResult) != 0;
}

std::string s_LauncherMissingLine(const std::string& strGame) {
    return std::string(u8"·找不到游戏启动程序") + strGame + std::string(u8"\\velmora.exe，请检查游戏路径。");
}

// The reinstall question of an unattended start, for package C, which is installed already.
class GuiQuestionTest : public GuiUnattendedTest {
protected:
    GuiQuestionTest() {
        UseSamplePackage();
        // An old plug-in: it goes only when an installation really starts.
        MakeFolders(m_strGame + "\\interface\\old");
        WriteFileBytes(m_strGame + "\\interface\\old\\stale.lua", "stale");
    }
    // Starts the installer with strArguments and waits for the question; null when none came.
    HWND StartAsking(KMendwright* pApp, const std::string& strArguments) {
        if (!pApp->Start(Exe(), strArguments))
            return nullptr;
        return pApp->WaitForMessageBox();
    }
    // Nothing of the package went in and the old plug-in is still there.
    void ExpectNothingInstalled() const {
        EXPECT_TRUE(FileExists(m_strGame + "\\interface\\old\\stale.lua"));
        EXPECT_FALSE(FileExists(m_strGame + "\\interface\\interface.ini"));
        EXPECT_FALSE(FileExists(m_strGame + "\\interface2\\chat\\chat.lua"));
    }
};

TEST_F(GuiQuestionTest, BelongsToTheDialogAndUpdateCannotAskAgain) {
    HandOver("mwtest_pkgC");
    KMendwright app;
    HWND hBox = StartAsking(&app, "mwtest_pkgC");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(GetWindow(hBox, GW_OWNER), app.Dlg());
    EXPECT_FALSE(IsWindowEnabled(app.Dlg()));
    // Clicks that reach the dialog behind the question start nothing.
    for (int i = 0; i < 3; ++i)
        app.Click(ID_UPDATE);
    Sleep(700);
    EXPECT_EQ(s_OtherDialogs(app).size(), 1u);
    PostMessageW(hBox, WM_COMMAND, IDNO, 0);
    ASSERT_TRUE(s_WaitUntil([&]() { return !IsWindow(hBox); }, 5000));
    EXPECT_EQ(app.WaitForMessageBox(700), nullptr);
    EXPECT_EQ(app.Lines(), std::vector<std::string>{s_Line(2011)});
    ExpectNothingInstalled();
    app.Click(ID_QUIT);
    EXPECT_TRUE(app.WaitExit(8000));
}

// The ways out while the question is open (the dialog is disabled: its close box and keys do
// nothing, but the tray menu works and a click can still be sent); each ends the program without
// installing.
enum KQuestionQuit { QUESTION_TRAY_EXIT, QUESTION_QUIT_BUTTON };

class GuiQuestionQuitTest : public GuiQuestionTest, public ::testing::WithParamInterface<KQuestionQuit> {};

TEST_P(GuiQuestionQuitTest, CancelsTheInstallationBeforeItStarts) {
    HandOver("mwtest_pkgC");
    KMendwright app;
    HWND hBox = StartAsking(&app, "mwtest_pkgC");
    ASSERT_NE(hBox, nullptr);
    switch (GetParam()) {
    case QUESTION_TRAY_EXIT:
        PostMessageW(app.Dlg(), WM_COMMAND, ID_TRAY_EXIT, 0);
        break;
    case QUESTION_QUIT_BUTTON:
        app.Click(ID_QUIT);
        break;
    }
    // The player answers Yes right after: too late, the program is ending.
    PostMessageW(hBox, WM_COMMAND, IDYES, 0);
    DWORD dwExit = 1;
    ASSERT_TRUE(app.WaitExit(8000, &dwExit));
    EXPECT_EQ(dwExit, 0u);
    ExpectNothingInstalled();
    EXPECT_FALSE(FileExists(HandoffFile("mwtest_pkgC")));
}

INSTANTIATE_TEST_SUITE_P(Ways, GuiQuestionQuitTest,
                         ::testing::Values(QUESTION_TRAY_EXIT, QUESTION_QUIT_BUTTON));

TEST_F(GuiQuestionTest, PackageNamesCompareWithoutCase) {
    // The resource list names it "mwtest_pkgC"; the command line in capitals is the same package.
    HandOver("MWTEST_PKGC");
    KMendwright app;
    HWND hBox = StartAsking(&app, "MWTEST_PKGC");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(s_MessageBoxText(hBox), std::string(u8"检测到本地已经安装了升级包内的美术资源，是否继续安装？"));
    PostMessageW(hBox, WM_COMMAND, IDYES, 0);
    EXPECT_TRUE(app.WaitForLine(s_Line(2022)));
    EXPECT_TRUE(FileExists(m_strGame + "\\interface2\\chat\\chat.lua"));
    EXPECT_TRUE(app.WaitExit(12000));
}

TEST_F(GuiUnattendedTest, DeletesOnlyTheHandoffFilesItRead) {
    UseSamplePackage();
    HandOver("mwtest_pkgA");
    // Other files of the temporary folder reachable by arguments: an INI file of another kind,
    // and a handoff-like file reachable only by its short name.
    std::string strOther = m_strTemp + "mwtest_other.ini";
    WriteFileBytes(strOther, "[Other]\r\nkey=1\r\n");
    m_Names.push_back("mwtest_other");
    std::string strLong = "mwtest_a_long_handoff_like_name";
    HandOver(strLong);
    wchar_t wszShort[MAX_PATH] = {0};
    GetShortPathNameW(Utf8ToWide(HandoffFile(strLong)).c_str(), wszShort, MAX_PATH);
    std::string strShort = WideToUtf8(wszShort);
    strShort = strShort.substr(strShort.rfind('\\') + 1);
    ASSERT_GT(strShort.size(), 4u);
    ASSERT_NE(strShort, strLong + ".ini") << "no short name here";
    strShort.resize(strShort.size() - 4);

    KMendwright app;
    ASSERT_TRUE(app.Start(Exe(), "mwtest_pkgA mwtest_other " + strShort));
    ASSERT_TRUE(app.WaitForLine(s_Line(2022)));
    ASSERT_TRUE(app.WaitExit(12000));
    EXPECT_FALSE(FileExists(HandoffFile("mwtest_pkgA")));
    EXPECT_TRUE(FileExists(strOther));
    EXPECT_TRUE(FileExists(HandoffFile(strLong)));
}

TEST_F(GuiUnattendedTest, AHandoffFolderThatCannotHoldTheGameIsRefused) {
    UseSamplePackage();
    std::string strRootFiles = "C:\\interface2";
    bool bRootHadPlugins = GetFileAttributesU8(strRootFiles.c_str()) != INVALID_FILE_ATTRIBUTES;
    bool bRootHadResource = GetFileAttributesU8("C:\\resource") != INVALID_FILE_ATTRIBUTES;
    m_Names.push_back("mwtest_root");
    WriteFileBytes(HandoffFile("mwtest_root"), "[Tarnwick]\r\nGamePath=C:\\\r\n");
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe(), "mwtest_root"));
    // Start-up says the folder is wrong, and the Update the start runs by itself says it again.
    ASSERT_TRUE(s_WaitUntil([&]() { return app.LineCount() >= 2; }, 10000));
    EXPECT_EQ(app.Lines(), (std::vector<std::string>{s_Line(2012), s_Line(2012)}));
    ASSERT_TRUE(s_WaitUntil([&]() { return app.Enabled(ID_UPDATE); }, 5000));
    if (!bRootHadPlugins)
        EXPECT_EQ(GetFileAttributesU8(strRootFiles.c_str()), INVALID_FILE_ATTRIBUTES);
    if (!bRootHadResource)
        EXPECT_EQ(GetFileAttributesU8("C:\\resource"), INVALID_FILE_ATTRIBUTES);
    // Enter ends it as Quit does, its handoff file gone: a later start must not take it up.
    PostMessageW(app.Dlg(), WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(app.WaitExit(8000));
    EXPECT_FALSE(FileExists(HandoffFile("mwtest_root")));
}

TEST_F(GuiTest, NothingIsCreatedForAGameFolderThatIsNotThere) {
    UseSamplePackage();
    for (const std::string& strFolder : {m_Dir / "gone\\game", std::string("\\\\mwtest-server\\share\\game")}) {
        KAppPathsEntry missing(strFolder);
        KMendwright app;
        ASSERT_TRUE(app.Start(Exe()));
        EXPECT_EQ(app.Lines(), std::vector<std::string>{s_Line(2012)});
        app.Click(ID_UPDATE);
        ASSERT_TRUE(s_WaitUntil([&]() { return app.LineCount() == 2; }, 10000));
        EXPECT_EQ(app.Lines().back(), s_Line(2012));
        app.Click(ID_QUIT);
        EXPECT_TRUE(app.WaitExit(8000));
    }
    EXPECT_FALSE(FileExists(m_Dir / "gone"));
    EXPECT_EQ(GetFileAttributesU8("C:\\mwtest-server"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesU8("\\mwtest-server"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(GuiTest, AProgramNameWithABackslashTrailByteFindsItsPackage) {
    UseSamplePackage();
    // "淺" is 0x9C 0x5C in GBK: its second byte is a backslash.
    std::string strExe = m_strPackage + "\\" + std::string(u8"更新淺.exe");
    ASSERT_TRUE(CopyFileW(Utf8ToWide(Exe()).c_str(), Utf8ToWide(strExe).c_str(), FALSE));
    KMendwright app;
    ASSERT_TRUE(app.Start(strExe));
    EXPECT_EQ(app.Caption(), SampleTitle());
    EXPECT_EQ(app.Lines(), std::vector<std::string>{s_Line(2011)});
    app.Click(ID_QUIT);
    EXPECT_TRUE(app.WaitExit(8000));
}

// Disabled: run alone it passes, but after the rest of the suite Wine's tray answers no probe for
// the fresh program's icon (even before the restart is played), so the check cannot tell. The tray
// object's own re-adding is tested in app/tray_icon_test.cpp.
TEST_F(GuiTest, DISABLED_TheTrayIconComesBackWhenTheShellRestarts) {
    UseSamplePackage();
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    ASSERT_TRUE(app.WaitShown());
    ASSERT_TRUE(s_WaitUntil([&]() { return s_TrayIconShown(app.Dlg()); }, 15000));
    PostMessageW(app.Dlg(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(s_WaitUntil([&]() { return !IsWindowVisible(app.Dlg()); }, 5000));
    // The shell forgets every icon when it restarts, then tells every top-level window.
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = app.Dlg();
    data.uID = 100;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &data));
    ASSERT_FALSE(s_TrayIconShown(app.Dlg()));
    SendMessageW(app.Dlg(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(s_WaitUntil([&]() { return s_TrayIconShown(app.Dlg()); }, 15000));
    // And it still brings the window back.
    SendMessageW(app.Dlg(), WM_TRAY_NOTIFY, 100, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(s_WaitUntil([&]() { return IsWindowVisible(app.Dlg()) != FALSE; }, 5000));
    app.Click(ID_QUIT);
    EXPECT_TRUE(app.WaitExit(8000));
}

TEST_F(GuiTest, OneAboutBoxAtATimeAndQuitClosesIt) {
    UseSamplePackage();
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    ASSERT_TRUE(app.WaitShown());
    for (int i = 0; i < 3; ++i)
        PostMessageW(app.Dlg(), WM_COMMAND, ID_TRAY_ABOUT, 0);
    ASSERT_NE(app.WaitForMessageBox(), nullptr);
    Sleep(700);
    EXPECT_EQ(s_OtherDialogs(app).size(), 1u);
    // The tray menu's exit, with the box open: the program ends.
    PostMessageW(app.Dlg(), WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_TRUE(app.WaitExit(8000));
}

TEST_F(GuiTest, RunGameWithoutALauncherSaysSoAndStays) {
    UseSamplePackage();
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    app.Click(ID_UPDATE);
    ASSERT_TRUE(s_WaitUntil([&]() { return app.Enabled(ID_RUN_GAME); }, 20000));
    // The launcher goes away after the installation (the player removed it, say).
    ASSERT_TRUE(DeleteFileU8((m_strGame + "\\velmora.exe").c_str()));
    app.Click(ID_RUN_GAME);
    ASSERT_TRUE(app.WaitForLine(s_LauncherMissingLine(m_strGame), 5000));
    EXPECT_FALSE(app.WaitExit(500));
    EXPECT_TRUE(app.Enabled(ID_RUN_GAME));
    // Once the launcher is there, Run Game starts it and ends the program.
    CopyFileW(Utf8ToWide((ProgramFolder() + "\\fake_launcher.exe")).c_str(), Utf8ToWide((m_strGame + "\\velmora.exe")).c_str(), FALSE);
    app.Click(ID_RUN_GAME);
    EXPECT_TRUE(app.WaitExit(10000));
}

// Two unattended starts for one game folder, as the resource-list program may make them: one
// installs, the other is refused with a line. Needs the Update command to hold the folder's
// update semaphore from its checks on (the start of the worker comes too late to keep a second
// run out); until that lands the test stays disabled.
TEST_F(GuiUnattendedTest, TwoStartsOnOneFolderInstallOnce) {
    UseLargePackage(800);
    // A long resource list keeps the checks busy for a while: both runs are inside them at once.
    std::string strCatalogue = "[mwtest_pkgA]\r\ntitle=A\r\n";
    for (int i = 0; i < 10000; ++i)
        strCatalogue += "[filler" + std::to_string(i) + "]\r\ntitle=f\r\n";
    WriteFileBytes(m_strGame + "\\resource\\resource.ini", strCatalogue);
    HandOver("mwtest_pkgA");
    KMendwright first;
    KMendwright second;
    bool bSecond = false;
    std::thread other([&]() { bSecond = second.Start(Exe(), "mwtest_pkgA"); });
    bool bFirst = first.Start(Exe(), "mwtest_pkgA");
    other.join();
    ASSERT_TRUE(bFirst && bSecond);
    // The one refused says so: another installation runs on its folder. Its lines are read at
    // once, since it ends five seconds later.
    KMendwright* pRefused = nullptr;
    ASSERT_TRUE(s_WaitUntil(
        [&]() {
            pRefused = first.HasLine(s_Line(2090)) ? &first : second.HasLine(s_Line(2090)) ? &second : nullptr;
            return pRefused != nullptr;
        },
        30000));
    std::vector<std::string> refused = pRefused->Lines();
    EXPECT_TRUE(s_OtherDialogs(*pRefused).empty());
    KMendwright* pInstalling = pRefused == &first ? &second : &first;
    ASSERT_TRUE(pInstalling->WaitForLine(s_Line(2022), 120000));
    // It copied nothing, no message box waited for a player, and it left the work to the other
    // and ended by itself, without a failure balloon.
    ASSERT_GE(refused.size(), 2u);
    for (const std::string& strLine : refused)
        EXPECT_NE(strLine, s_Line(2014));
    EXPECT_EQ(refused.back(), s_Line(2090));
    EXPECT_TRUE(pRefused->WaitExit(10000));
    std::pair<std::string, std::string> last = LargePackageFile(799);
    EXPECT_TRUE(FileExists(m_strGame + "\\" + last.first + last.second));
}

// The racing sequences, repeated under CPU load (run as the CTest test gui_race_tests). A hang
// shows as a dialog that stops answering or a program that does not end.

// Busy threads on every processor while alive, so that the program's threads are preempted at
// arbitrary points.
class KCpuLoad {
public:
    KCpuLoad() {
        SYSTEM_INFO info = {};
        GetSystemInfo(&info);
        for (DWORD i = 0; i < info.dwNumberOfProcessors; ++i)
            m_Threads.emplace_back([this]() {
                volatile unsigned int uSpin = 0;
                while (!m_bStop.load(std::memory_order_relaxed))
                    ++uSpin;
            });
    }
    ~KCpuLoad() {
        m_bStop = true;
        for (std::thread& thread : m_Threads)
            thread.join();
    }

private:
    std::atomic<bool> m_bStop{false};
    std::vector<std::thread> m_Threads;
};

// The last line of the message list, read alone (the list grows long here).
std::string s_LastLine(const KMendwright& app) {
    HWND hList = app.Item(ID_LIST);
    DWORD_PTR dwCount = 0;
    if (!SendMessageTimeoutW(hList, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &dwCount) || dwCount == 0)
        return std::string();
    WPARAM wLast = static_cast<WPARAM>(dwCount - 1);
    LRESULT nLen = SendMessageW(hList, LB_GETTEXTLEN, wLast, 0);
    if (nLen < 0)
        return std::string();
    std::wstring wstrLine(static_cast<size_t>(nLen) + 1, L'\0');
    SendMessageW(hList, LB_GETTEXT, wLast, reinterpret_cast<LPARAM>(&wstrLine[0]));
    return WideToUtf8(wstrLine.c_str());
}

class GuiRaceMinimiseTest : public GuiTest {};

TEST_F(GuiRaceMinimiseTest, UpdateThenMinimiseAtOnce) {
    // An installation refused for its only file, missing from the package: it begins and ends
    // within moments, and Update is enabled again for the next round.
    WriteFileBytes(m_strPackage + "\\Update.dat", s_Description("Race", {{"ui\\", "missing.lua"}}));
    const std::string strRefused = std::string(u8"·升级包中缺少文件ui\\missing.lua，请重新下载升级包。");
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    ASSERT_TRUE(app.WaitShown());
    KCpuLoad load;
    const int nRounds = 200;
    for (int i = 0; i < nRounds; ++i) {
        int nBefore = app.LineCount();
        // The click starts the worker; the minimise, 0 to 10 ms later, shows the state balloon
        // while the worker's first request (its own balloon) comes in.
        app.Click(ID_UPDATE);
        Sleep(static_cast<DWORD>(i % 11));
        PostMessageW(app.Dlg(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        bool bEnded = s_WaitUntil(
            [&]() { return app.LineCount() > nBefore && s_LastLine(app) == strRefused && app.Enabled(ID_UPDATE); },
            20000);
        ASSERT_TRUE(s_Answers(app.Dlg())) << "round " << i << ": the dialog stopped answering";
        ASSERT_TRUE(bEnded) << "round " << i << ": the installation did not end";
        ASSERT_TRUE(s_WaitUntil([&]() { return !IsWindowVisible(app.Dlg()); }, 5000)) << "round " << i;
        SendMessageW(app.Dlg(), WM_TRAY_NOTIFY, 100, WM_LBUTTONDBLCLK);
        ASSERT_TRUE(s_WaitUntil([&]() { return IsWindowVisible(app.Dlg()) != FALSE; }, 5000)) << "round " << i;
    }
    app.Click(ID_QUIT);
    EXPECT_TRUE(app.WaitExit(8000));
}

class GuiRaceQuestionTest : public GuiQuestionTest {};

TEST_F(GuiRaceQuestionTest, TrayExitWhileTheQuestionIsOpenThenYes) {
    KCpuLoad load;
    // Each round starts the program anew, which takes a second or two.
    const int nRounds = 12;
    for (int i = 0; i < nRounds; ++i) {
        HandOver("mwtest_pkgC");
        KMendwright app;
        HWND hBox = StartAsking(&app, "mwtest_pkgC");
        ASSERT_NE(hBox, nullptr) << "round " << i;
        PostMessageW(app.Dlg(), WM_COMMAND, ID_TRAY_EXIT, 0);
        Sleep(static_cast<DWORD>(i % 11));
        PostMessageW(hBox, WM_COMMAND, IDYES, 0);
        ASSERT_TRUE(app.WaitExit(10000)) << "round " << i << ": the program did not end";
        ASSERT_TRUE(FileExists(m_strGame + "\\interface\\old\\stale.lua")) << "round " << i;
        ASSERT_FALSE(FileExists(m_strGame + "\\interface\\interface.ini")) << "round " << i;
    }
}

// The full path of the module strName (any case) in process dwProcessId, in lower case; "" when
// the process has none of that name.
std::string s_LoadedFrom(DWORD dwProcessId, const std::string& strName) {
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, dwProcessId);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return std::string();
    std::string strPath;
    MODULEENTRY32W module = {};
    module.dwSize = sizeof(module);
    for (BOOL bMore = Module32FirstW(hSnapshot, &module); bMore; bMore = Module32NextW(hSnapshot, &module)) {
        if (lstrcmpiW(module.szModule, Utf8ToWide(strName).c_str()) == 0) {
            strPath = WideToUtf8(CharLowerW(module.szExePath));
            break;
        }
    }
    CloseHandle(hSnapshot);
    return strPath;
}

std::string s_Lower(const std::string& strText) {
    std::wstring wstrText = Utf8ToWide(strText);
    CharLowerW(&wstrText[0]);
    return WideToUtf8(wstrText.c_str());
}

TEST_F(GuiTest, NoPlantedLibraryIsLoadedAndEngineComesFromThePackage) {
    UseSamplePackage();
    CopyFileW(Utf8ToWide((ProgramFolder() + "\\fake_launcher.exe")).c_str(), Utf8ToWide((m_strGame + "\\velmora.exe")).c_str(), FALSE);
    mwtest::KPlantedLibraries planted;
    ASSERT_TRUE(planted.PlantAll(m_strPackage));
    KMendwright app;
    ASSERT_TRUE(app.Start(Exe()));
    app.Click(ID_UPDATE);
    ASSERT_TRUE(s_WaitUntil([&]() { return app.Enabled(ID_RUN_GAME); }, 20000));
    EXPECT_TRUE(app.HasLine(s_Line(2022)));
    EXPECT_EQ(s_LoadedFrom(app.ProcessId(), "engine.dll"), s_Lower(m_strPackage + "\\engine.dll"));
    // Run Game too: it reaches the shell through COM, which loads libraries of its own.
    app.Click(ID_RUN_GAME);
    ASSERT_TRUE(app.WaitExit(10000));
    EXPECT_TRUE(s_WaitUntil([&]() { return FileExists(m_strGame + "\\launched.txt"); }, 10000));
    EXPECT_EQ(planted.Loads(), std::vector<std::string>());
}

TEST_F(GuiTest, MissingEngineLibraryIsReportedAndNothingElseShown) {
    ASSERT_TRUE(DeleteFileU8((m_strPackage + "\\engine.dll").c_str()));
    UseSamplePackage();
    std::wstring wstrCommand = Utf8ToWide("\"" + Exe() + "\"");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &wstrCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    CloseHandle(process.hThread);
    HWND hBox = nullptr;
    s_WaitUntil(
        [&]() {
            for (HWND hWnd : s_DialogsOf(process.dwProcessId))
                if (IsWindowVisible(hWnd))
                    hBox = hWnd;
            return hBox != nullptr;
        },
        10000);
    EXPECT_NE(hBox, nullptr);
    if (hBox) {
        EXPECT_EQ(s_WindowText(hBox), "Tarnwick");
        EXPECT_EQ(s_MessageBoxText(hBox), std::string(u8"engine.dll不存在或无法加载，请重新下载升级包。"));
        EXPECT_EQ(GetDlgItem(hBox, ID_LIST), nullptr);
        PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    }
    bool bEnded = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
    EXPECT_TRUE(bEnded);
    if (!bEnded)
        TerminateProcess(process.hProcess, 99);
    DWORD dwExit = 0;
    GetExitCodeProcess(process.hProcess, &dwExit);
    EXPECT_EQ(dwExit, 1u);
    CloseHandle(process.hProcess);
}

::testing::Environment* const s_pDisplaySettings = ::testing::AddGlobalTestEnvironment(new KWineDisplaySettings);

}  // namespace

