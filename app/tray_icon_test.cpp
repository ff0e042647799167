// The tray icon's data: the state balloons, texts cut to their fields, and balloons asked for by
// two threads at once.
#include "app/tray_icon.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/win_text.h"
#include "tests/test_support.h"


namespace {

// What the shell was asked, one record per request.
struct KNotifyCall {
    DWORD dwMessage;
    DWORD cbSize;
    UINT uFlags;
    UINT uId;
    UINT uCallbackMessage;
    HWND hWnd;
    HICON hIcon;
    std::string strTip;
    std::string strInfo;
    std::string strInfoTitle;
    UINT uTimeout;
    DWORD dwInfoFlags;
    size_t uInfoLen;       // UTF-16 units before the NUL within the field (the field's size: no NUL)
    size_t uInfoTitleLen;
};

std::mutex g_CallsLock;
std::vector<KNotifyCall> g_Calls;

template <size_t N>
size_t s_FieldLen(const wchar_t (&wszField)[N]) {
    size_t uLen = 0;
    while (uLen < N && wszField[uLen])
        ++uLen;
    return uLen;
}

BOOL WINAPI s_RecordNotify(DWORD dwMessage, PNOTIFYICONDATAW pData) {
    KNotifyCall call;
    call.dwMessage = dwMessage;
    call.cbSize = pData->cbSize;
    call.uFlags = pData->uFlags;
    call.uId = pData->uID;
    call.uCallbackMessage = pData->uCallbackMessage;
    call.hWnd = pData->hWnd;
    call.hIcon = pData->hIcon;
    call.uInfoLen = s_FieldLen(pData->szInfo);
    call.uInfoTitleLen = s_FieldLen(pData->szInfoTitle);
    call.strTip = WideToUtf8(pData->szTip, static_cast<int>(s_FieldLen(pData->szTip)));
    call.strInfo = WideToUtf8(pData->szInfo, static_cast<int>(call.uInfoLen));
    // The shell reads the fields one after the other; give another thread every chance to
    // write in between.
    SwitchToThread();
    call.strInfoTitle = WideToUtf8(pData->szInfoTitle, static_cast<int>(call.uInfoTitleLen));
    call.uTimeout = pData->uTimeout;
    call.dwInfoFlags = pData->dwInfoFlags;
    std::lock_guard<std::mutex> lock(g_CallsLock);
    g_Calls.push_back(call);
    return TRUE;
}

class TrayIconTest : public ::testing::Test {
protected:
    TrayIconTest() {
        std::lock_guard<std::mutex> lock(g_CallsLock);
        g_Calls.clear();
    }
    static std::vector<KNotifyCall> Calls() {
        std::lock_guard<std::mutex> lock(g_CallsLock);
        return g_Calls;
    }
};


TEST(StateBalloonTest, EachInstallStateHasItsTextAndIcon) {
    const struct {
        int nState;
        int nTextId;
        DWORD dwFlags;
    } aExpected[] = {
        {0, IDS_BALLOON_RUNNING, NIIF_USER},
        {1, IDS_BALLOON_INSTALLING, NIIF_USER},
        {2, IDS_BALLOON_INSTALLED, NIIF_INFO},
        {3, IDS_BALLOON_FAILED, NIIF_WARNING},
    };
    for (const auto& expected : aExpected) {
        int nTextId = 0;
        DWORD dwFlags = 0;
        ASSERT_EQ(GetStateBalloon(expected.nState, &nTextId, &dwFlags), 1);
        EXPECT_EQ(nTextId, expected.nTextId);
        EXPECT_EQ(dwFlags, expected.dwFlags);
    }
    int nTextId = 0;
    DWORD dwFlags = 0;
    EXPECT_EQ(GetStateBalloon(-1, &nTextId, &dwFlags), 0);
    EXPECT_EQ(GetStateBalloon(4, &nTextId, &dwFlags), 0);
}

TEST(StateBalloonTest, TextCarriesTheTitleWhateverItsLength) {
    EXPECT_EQ(FormatBalloonText(GetString(IDS_BALLOON_INSTALLING), std::string(u8"界面插件").c_str()),
              std::string(u8"正在安装界面插件..."));
    EXPECT_EQ(FormatBalloonText(GetString(IDS_BALLOON_RUNNING), ""), std::string(u8"正在运行..."));
    EXPECT_EQ(FormatBalloonText(GetString(IDS_BALLOON_FAILED), nullptr), std::string(u8"安装失败！"));
    // A title with a per-cent sign is data, not format.
    EXPECT_EQ(FormatBalloonText("%s!", "100%s"), "100%s!");
    std::string strLong(300, 'x');
    EXPECT_EQ(FormatBalloonText(GetString(IDS_BALLOON_INSTALLED), strLong.c_str()), strLong + std::string(u8"已安装完成"));
}

TEST_F(TrayIconTest, AddFillsTheVersionTwoData) {
    KTrayIcon tray(s_RecordNotify);
    HWND hWnd = reinterpret_cast<HWND>(0x1234);
    HICON hIcon = reinterpret_cast<HICON>(0x5678);
    EXPECT_TRUE(tray.Add(hWnd, 100, 1933, hIcon, GetString(IDS_TRAY_TIP)));
    tray.Remove();
    std::vector<KNotifyCall> calls = Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].dwMessage, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(calls[0].cbSize, static_cast<DWORD>(NOTIFYICONDATAW_V2_SIZE));
    EXPECT_EQ(calls[0].uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(calls[0].hWnd, hWnd);
    EXPECT_EQ(calls[0].uId, 100u);
    EXPECT_EQ(calls[0].uCallbackMessage, 1933u);
    EXPECT_EQ(calls[0].hIcon, hIcon);
    EXPECT_EQ(calls[0].strTip, std::string(u8"Tarnwick插件安装程序"));
    EXPECT_EQ(calls[1].dwMessage, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(calls[1].hWnd, hWnd);
    EXPECT_EQ(calls[1].uId, 100u);
}

TEST_F(TrayIconTest, BalloonChangesOnlyTheBalloon) {
    KTrayIcon tray(s_RecordNotify);
    tray.Add(reinterpret_cast<HWND>(0x1234), 100, 1933, nullptr, "tip");
    EXPECT_TRUE(tray.ShowBalloon("text", "title", 10000, NIIF_WARNING));
    EXPECT_TRUE(tray.ShowBalloon(nullptr, nullptr, 500, NIIF_INFO));
    std::vector<KNotifyCall> calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].dwMessage, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(calls[1].cbSize, static_cast<DWORD>(NOTIFYICONDATAW_V2_SIZE));
    EXPECT_EQ(calls[1].uFlags, static_cast<UINT>(NIF_INFO));
    EXPECT_EQ(calls[1].strInfo, "text");
    EXPECT_EQ(calls[1].strInfoTitle, "title");
    EXPECT_EQ(calls[1].uTimeout, 10000u);
    EXPECT_EQ(calls[1].dwInfoFlags, static_cast<DWORD>(NIIF_WARNING));
    EXPECT_EQ(calls[1].uId, 100u);
    EXPECT_EQ(calls[2].strInfo, "");
    EXPECT_EQ(calls[2].strInfoTitle, "");
    EXPECT_EQ(calls[2].dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
}

TEST_F(TrayIconTest, LongTextsAreCutOnACharacterBoundary) {
    KTrayIcon tray(s_RecordNotify);
    // Characters of three UTF-8 bytes and one character of a surrogate pair where the title's
    // field ends, so that a cut by bytes, or by units alone, would split a character.
    std::string strTitle = "x";
    for (int i = 0; i < 61; ++i)
        strTitle += std::string(u8"塔");
    strTitle += u8"😀";
    for (int i = 0; i < 300; ++i)
        strTitle += std::string(u8"塔");
    std::string strText = FormatBalloonText(GetString(IDS_BALLOON_INSTALLED), strTitle.c_str());
    ASSERT_GT(Utf16Length(strText.c_str()), 300u);
    tray.ShowBalloon(strText.c_str(), strTitle.c_str(), 10000, NIIF_INFO);
    std::vector<KNotifyCall> calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    // Terminated inside the field, a full field of whole characters.
    EXPECT_EQ(calls[0].uInfoLen, 255u);
    EXPECT_EQ(strText.compare(0, calls[0].strInfo.size(), calls[0].strInfo), 0);
    // 62 units, then a pair that would need units 63 and 64: left out whole.
    EXPECT_EQ(calls[0].uInfoTitleLen, 62u);
    EXPECT_EQ(strTitle.substr(0, 1 + 61 * 3), calls[0].strInfoTitle);
}

TEST_F(TrayIconTest, BalloonsFromTwoThreadsNeverMix) {
    KTrayIcon tray(s_RecordNotify);
    tray.Add(reinterpret_cast<HWND>(0x1234), 100, 1933, nullptr, "tip");
    const int nRounds = 3000;
    std::atomic<int> nReady(0);
    auto fnShow = [&](const char* pszText, const char* pszTitle, int nFlags) {
        ++nReady;
        while (nReady.load() < 2) {
        }
        for (int i = 0; i < nRounds; ++i)
            tray.ShowBalloon(pszText, pszTitle, 10000, nFlags);
    };
    std::string strTextA(200, 'a');
    std::string strTextB(30, 'b');
    std::thread worker(fnShow, strTextA.c_str(), "title-a", NIIF_INFO);
    fnShow(strTextB.c_str(), "title-b-which-is-longer", NIIF_WARNING);
    worker.join();

    std::vector<KNotifyCall> calls = Calls();
    ASSERT_EQ(calls.size(), 1u + 2u * nRounds);
    int nMixed = 0;
    for (size_t i = 1; i < calls.size(); ++i) {
        const KNotifyCall& call = calls[i];
        bool bA = call.strInfo == strTextA && call.strInfoTitle == "title-a" && call.dwInfoFlags == NIIF_INFO;
        bool bB = call.strInfo == strTextB && call.strInfoTitle == "title-b-which-is-longer" &&
                  call.dwInfoFlags == NIIF_WARNING;
        nMixed += !(bA || bB);
    }
    EXPECT_EQ(nMixed, 0);
}

TEST_F(TrayIconTest, TheIconIsAddedAgainAsItWasAdded) {
    KTrayIcon tray(s_RecordNotify);
    EXPECT_FALSE(tray.AddAgain());
    HICON hIcon = reinterpret_cast<HICON>(0x5678);
    tray.Add(reinterpret_cast<HWND>(0x1234), 100, 1933, hIcon, "tip");
    tray.ShowBalloon("text", "title", 10000, NIIF_WARNING);
    EXPECT_TRUE(tray.AddAgain());
    tray.Remove();
    EXPECT_FALSE(tray.AddAgain());
    std::vector<KNotifyCall> calls = Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[2].dwMessage, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(calls[2].uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(calls[2].hWnd, reinterpret_cast<HWND>(0x1234));
    EXPECT_EQ(calls[2].uId, 100u);
    EXPECT_EQ(calls[2].uCallbackMessage, 1933u);
    EXPECT_EQ(calls[2].hIcon, hIcon);
    EXPECT_EQ(calls[2].strTip, "tip");
    EXPECT_EQ(calls[3].dwMessage, static_cast<DWORD>(NIM_DELETE));
}

// The shell call dispatches messages sent to the calling thread; a handler that asks for a
// balloon then runs inside the outer request, on the same thread.
KTrayIcon* g_pReentered = nullptr;

BOOL WINAPI s_ReenteringNotify(DWORD dwMessage, PNOTIFYICONDATAW pData) {
    s_RecordNotify(dwMessage, pData);
    if (KTrayIcon* pTray = g_pReentered) {
        g_pReentered = nullptr;
        pTray->ShowBalloon("inner", "inner title", 10000, NIIF_INFO);
    }
    return TRUE;
}

TEST_F(TrayIconTest, ARequestDuringTheShellCallDoesNotWaitForItself) {
    KTrayIcon tray(s_ReenteringNotify);
    tray.Add(reinterpret_cast<HWND>(0x1234), 100, 1933, nullptr, "tip");
    // On a thread of its own, so that a hang shows as a failure instead of a stuck test.
    std::atomic<bool> bDone(false);
    std::thread outer([&]() {
        g_pReentered = &tray;
        tray.ShowBalloon("outer", "outer title", 10000, NIIF_WARNING);
        bDone = true;
    });
    for (int i = 0; i < 500 && !bDone.load(); ++i)
        Sleep(10);
    if (!bDone.load()) {
        outer.detach();
        FAIL() << "the nested request waited for the outer one";
    }
    outer.join();
    std::vector<KNotifyCall> calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].strInfo, "outer");
    EXPECT_EQ(calls[1].strInfoTitle, "outer title");
    EXPECT_EQ(calls[2].strInfo, "inner");
    EXPECT_EQ(calls[2].dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
}

}  // namespace
