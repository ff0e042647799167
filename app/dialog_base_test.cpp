// The dialog layer on the program's own templates: the modal loop and its results, virtual
// handlers, data exchange of the edit box, and the list box wrapper. Each dialog runs on a thread
// of its own, as the main dialog does, while the test sends it requests.
#include "app/dialog_base.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/controls.h"
#include "app/resource.h"
#include "core/win_text.h"
#include "tests/test_support.h"


namespace {

class KTestDialog : public KDialog {
public:
    explicit KTestDialog(int nTemplateId) : KDialog(nTemplateId) {}

    std::string m_strText;
    KListBox m_List;
    KProgressCtrl m_Progress;
    std::atomic<int> m_nInitCalls{0};
    std::atomic<int> m_nOkCalls{0};

protected:
    BOOL OnInitDialog() override {
        ++m_nInitCalls;
        return KDialog::OnInitDialog();
    }
    void DoDataExchange(KDataExchange* pDX) override {
        pDX->Control(IDC_MESSAGE_LIST, &m_List);
        pDX->Control(IDC_PROGRESS, &m_Progress);
        pDX->Text(IDC_GAME_PATH, &m_strText);
    }
    void OnOK() override {
        ++m_nOkCalls;
        KDialog::OnOK();
    }
    BOOL OnMessage(UINT uMsg, WPARAM wParam, LPARAM, LRESULT* pResult) override {
        if (uMsg == WM_APP + 5) {
            *pResult = static_cast<LRESULT>(wParam) * 2;
            return TRUE;
        }
        if (uMsg == WM_QUERYDRAGICON) {
            *pResult = 0x7777;
            return TRUE;
        }
        return FALSE;
    }
};

// Runs a dialog's modal loop on its own thread for the test's lifetime.
class KDialogThread {
public:
    explicit KDialogThread(KDialog* pDialog) : m_pDialog(pDialog), m_nResult(-2), m_bDone(false) {
        m_Thread = std::thread([this]() {
            m_nResult = m_pDialog->DoModal();
            m_bDone = true;
        });
        for (int i = 0; i < 500 && !m_pDialog->m_hWnd; ++i)
            Sleep(10);
        // The handle is known from WM_INITDIALOG on; the controls are bound once it has returned
        // and the modal loop shows the window.
        for (int i = 0; i < 500 && m_pDialog->m_hWnd && !IsWindowVisible(m_pDialog->m_hWnd); ++i)
            Sleep(10);
    }
    ~KDialogThread() {
        if (m_pDialog->m_hWnd)
            PostMessageA(m_pDialog->m_hWnd, WM_COMMAND, IDCANCEL, 0);
        m_Thread.join();
    }
    // The modal result, once DoModal has returned it (waits up to 5 s): the window is gone a
    // moment before DoModal returns.
    INT_PTR Result() {
        for (int i = 0; i < 500 && !m_bDone; ++i)
            Sleep(10);
        return m_bDone ? static_cast<INT_PTR>(m_nResult) : -3;
    }

private:
    KDialog* m_pDialog;
    std::atomic<INT_PTR> m_nResult;
    std::atomic<bool> m_bDone;
    std::thread m_Thread;
};

// Windows need a display (the tests' Xvfb).
#define SKIP_WITHOUT_DISPLAY()                                                  \
    do {                                                                        \
        char szDisplay[256] = {0};                                              \
        if (!GetEnvironmentVariableA("DISPLAY", szDisplay, sizeof(szDisplay)))  \
            GTEST_SKIP() << "no display";                                       \
    } while (0)

std::string s_WindowText(HWND hWnd) {
    char szText[512] = {0};
    GetWindowTextA(hWnd, szText, sizeof(szText));
    return szText;
}

TEST(DialogBaseTest, ModalLoopEndsWithTheCommandsResult) {
    SKIP_WITHOUT_DISPLAY();
    KTestDialog about(IDD_ABOUTBOX);
    KDialogThread thread(&about);
    ASSERT_NE(about.m_hWnd, nullptr);
    EXPECT_EQ(about.m_nInitCalls.load(), 1);
    EXPECT_EQ(s_WindowText(about.m_hWnd), "Tarnwick");
    PostMessageA(about.m_hWnd, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(thread.Result(), IDOK);
    EXPECT_EQ(about.m_nOkCalls.load(), 1);
    EXPECT_EQ(about.m_hWnd, nullptr);

    KTestDialog closed(IDD_ABOUTBOX);
    KDialogThread closeThread(&closed);
    ASSERT_NE(closed.m_hWnd, nullptr);
    // The close box reaches the dialog as IDCANCEL.
    PostMessageA(closed.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(closeThread.Result(), IDCANCEL);
    EXPECT_EQ(closed.m_nOkCalls.load(), 0);
}

TEST(DialogBaseTest, HandlerResultsReachTheSender) {
    SKIP_WITHOUT_DISPLAY();
    KTestDialog dialog(IDD_ABOUTBOX);
    KDialogThread thread(&dialog);
    ASSERT_NE(dialog.m_hWnd, nullptr);
    EXPECT_EQ(SendMessageA(dialog.m_hWnd, WM_APP + 5, 21, 0), 42);
    EXPECT_EQ(SendMessageA(dialog.m_hWnd, WM_QUERYDRAGICON, 0, 0), 0x7777);
    // Unhandled messages get the dialog manager's answer.
    EXPECT_EQ(SendMessageA(dialog.m_hWnd, WM_APP + 6, 21, 0), 0);
}

TEST(DialogBaseTest, EditTextIsExchangedBothWaysWithoutLimit) {
    SKIP_WITHOUT_DISPLAY();
    KTestDialog dialog(IDD_MENDWRIGHT_DIALOG);
    KDialogThread thread(&dialog);
    ASSERT_NE(dialog.m_hWnd, nullptr);
    HWND hEdit = GetDlgItem(dialog.m_hWnd, IDC_GAME_PATH);

    std::string strLong = "D:\\" + std::string(600, 'g') + std::string(u8"\\游戏目录");
    dialog.m_strText = strLong;
    ASSERT_TRUE(dialog.UpdateData(FALSE));
    EXPECT_EQ(s_WindowText(hEdit).size(), 511u);  // the reading buffer's limit, not the exchange's
    wchar_t wszWhole[1024] = {0};
    GetWindowTextW(hEdit, wszWhole, 1024);
    EXPECT_EQ(WideToUtf8(wszWhole), strLong);

    SetWindowTextW(hEdit, Utf8ToWide(std::string(u8"C:\\塔恩维克")).c_str());
    EXPECT_EQ(dialog.m_strText, strLong);  // taken over only by an exchange
    ASSERT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.m_strText, std::string(u8"C:\\塔恩维克"));
    SetWindowTextA(hEdit, "");
    dialog.UpdateData(TRUE);
    EXPECT_EQ(dialog.m_strText, "");
}

TEST(DialogBaseTest, ListLinesKeepTheirInsertOrderAlthoughTheListSorts) {
    SKIP_WITHOUT_DISPLAY();
    KTestDialog dialog(IDD_MENDWRIGHT_DIALOG);
    KDialogThread thread(&dialog);
    ASSERT_NE(dialog.m_hWnd, nullptr);
    KListBox& list = dialog.m_List;
    ASSERT_NE(list.m_hWnd, nullptr);
    ASSERT_TRUE(GetWindowLongA(list.m_hWnd, GWL_STYLE) & LBS_SORT);

    const std::string aLines[] = {std::string(u8"搜索到游戏路径"), "zeta", "-----", std::string(u8"·正在复制文件：a.lua"), "alpha"};
    for (const std::string& strLine : aLines)
        EXPECT_EQ(list.InsertAt(list.Count(), strLine.c_str()), &strLine - aLines);
    ASSERT_EQ(list.Count(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(list.TextAt(i), aLines[i]);
    EXPECT_EQ(list.TextAt(5), "");

    // Sideways scrolling reaches the end of the longest of the lines, and never shrinks.
    RECT rcClient;
    GetClientRect(list.m_hWnd, &rcClient);
    std::string strLong = "C:\\Program Files\\" + std::string(120, 'w') + std::string(u8"\\ 完成！");
    list.FitWidth({"short", strLong, "a"});
    LRESULT nExtent = SendMessageA(list.m_hWnd, LB_GETHORIZONTALEXTENT, 0, 0);
    EXPECT_GT(nExtent, rcClient.right);
    list.FitWidth({strLong});
    EXPECT_EQ(SendMessageA(list.m_hWnd, LB_GETHORIZONTALEXTENT, 0, 0), nExtent);
    list.FitWidth({"short"});
    EXPECT_EQ(SendMessageA(list.m_hWnd, LB_GETHORIZONTALEXTENT, 0, 0), nExtent);
    list.FitWidth({"short", strLong + "wwww"});
    EXPECT_GT(SendMessageA(list.m_hWnd, LB_GETHORIZONTALEXTENT, 0, 0), nExtent);

    // Suspended drawing hides nothing for good: lines still land, and resuming shows the list.
    ASSERT_TRUE(list.IsShown());
    list.SetRedraw(FALSE);
    EXPECT_FALSE(list.IsShown());
    EXPECT_EQ(list.InsertAt(list.Count(), "while suspended"), 5);
    list.SetRedraw(TRUE);
    EXPECT_TRUE(list.IsShown());
    EXPECT_TRUE(IsWindowVisible(list.m_hWnd));
    EXPECT_EQ(list.TextAt(5), "while suspended");
    list.RemoveAt(5);

    list.Select(3);
    EXPECT_EQ(list.Selected(), 3);
    list.RemoveAt(1);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.TextAt(1), "-----");
}

// Many steps at once end where as many single steps end, wrapping around included, whatever
// the range and step size, and from wherever the bar stands.
TEST(DialogBaseTest, ProgressStepsManyAtOnceAsOneByOne) {
    SKIP_WITHOUT_DISPLAY();
    KTestDialog dialog(IDD_MENDWRIGHT_DIALOG);
    KDialogThread thread(&dialog);
    ASSERT_NE(dialog.m_hWnd, nullptr);
    KProgressCtrl& bar = dialog.m_Progress;
    ASSERT_NE(bar.m_hWnd, nullptr);
    struct KRange {
        int nLow, nHigh, nStep;
    };
    for (const KRange& range : {KRange{0, 100, 10}, KRange{0, 100, 30}, KRange{5, 12, 3}, KRange{0, 100, 10}}) {
        SendMessageA(bar.m_hWnd, PBM_SETRANGE32, range.nLow, range.nHigh);
        SendMessageA(bar.m_hWnd, PBM_SETSTEP, range.nStep, 0);
        for (int nStart : {range.nLow, range.nHigh, (range.nLow + range.nHigh) / 2}) {
            for (int nSteps : {0, 1, 2, 9, 10, 11, 12, 25, 1}) {
                bar.SetPosition(nStart);
                for (int i = 0; i < nSteps; ++i)
                    bar.Step();
                int nExpected = bar.Position();
                bar.SetPosition(nStart);
                bar.StepMany(nSteps);
                EXPECT_EQ(bar.Position(), nExpected)
                    << range.nLow << ".." << range.nHigh << " by " << range.nStep << ", " << nSteps << " from " << nStart;
            }
        }
    }
}

}  // namespace
