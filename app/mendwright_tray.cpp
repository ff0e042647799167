// The main dialog's tray icon: added at start-up, balloons for the install state while the
// window is hidden, the popup menu, and hiding into the icon on minimising.
#include "app/mendwright_dlg.h"
#include "app/resource.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "xml/xml_document.h"

namespace {

const int BALLOON_TIMEOUT_MS = 10000;

}  // namespace

void CMendwrightDlg::AddTrayIcon() {
    m_Tray.Add(m_hWnd, TRAY_ICON_ID, WM_TRAY_NOTIFY, m_hIcon, GetString(IDS_TRAY_TIP));
}

int CMendwrightDlg::ShowBalloon(const char* pszText, const char* pszTitle, int nTimeout, int nInfoFlags) {
    return m_Tray.ShowBalloon(pszText, pszTitle, nTimeout, nInfoFlags);
}

int CMendwrightDlg::ShowStateBalloon() {
    int nTextId = 0;
    DWORD dwInfoFlags = 0;
    if (!GetStateBalloon(m_nInstallState, &nTextId, &dwInfoFlags))
        return 0;
    char szTitle[KXML_TEXT_SIZE] = {0};
    m_Installer.GetAppTitle(szTitle);
    std::string strText = FormatBalloonText(GetString(nTextId), szTitle);
    ShowBalloon(strText.c_str(), GetString(IDS_PRODUCT_NAME), BALLOON_TIMEOUT_MS, static_cast<int>(dwInfoFlags));
    return 1;
}

void CMendwrightDlg::ShowFromTray() {
    m_bShown = 1;
    LONG_PTR nExStyle = GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE);
    SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, (nExStyle & ~static_cast<LONG_PTR>(WS_EX_TOOLWINDOW)) | WS_EX_APPWINDOW);
    int nWidth = m_rcStartup.right - m_rcStartup.left;
    int nHeight = m_rcStartup.bottom - m_rcStartup.top;
    MoveWindow(m_hWnd, m_rcStartup.left, m_rcStartup.top, nWidth, nHeight, TRUE);
    ShowWindow(m_hWnd, SW_SHOWNORMAL);
    // Restoring a minimised window puts it back where it was minimised; the start-up position
    // is wanted.
    MoveWindow(m_hWnd, m_rcStartup.left, m_rcStartup.top, nWidth, nHeight, TRUE);
    SetForegroundWindow(m_hWnd);
}

LRESULT CMendwrightDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
    POINT ptCursor = {0, 0};
    GetCursorPos(&ptCursor);
    if (wParam != TRAY_ICON_ID)
        return 1;
    if (lParam == WM_LBUTTONDBLCLK) {
        ShowFromTray();
    } else if (lParam == WM_RBUTTONDOWN) {
        HMENU hMenu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
        if (hMenu) {
            // Without the foreground the menu would not close when the player clicks elsewhere.
            SetForegroundWindow(m_hWnd);
            TrackPopupMenu(GetSubMenu(hMenu, 0), TPM_RIGHTBUTTON, ptCursor.x, ptCursor.y, 0, m_hWnd, nullptr);
            DestroyMenu(hMenu);
        }
    }
    return 1;
}

void CMendwrightDlg::OnSize(UINT nType, int, int) {
    if (nType == SIZE_MINIMIZED) {
        ShowWindow(m_hWnd, SW_HIDE);
        m_bShown = 0;
        ShowStateBalloon();
    }
}

void CMendwrightDlg::OnTaskbarCreated() {
    // The new shell knows no icon of ours; without it a window hidden in the tray is lost.
    m_Tray.AddAgain();
}
