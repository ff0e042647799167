#include "app/about_dlg.h"

#include <string>
#include <vector>

namespace {

// The width a static text needs on one line in its own font; 0 for anything else.
int s_TextWidth(HWND hControl) {
    wchar_t wszClass[16] = {0};
    GetClassNameW(hControl, wszClass, 16);
    LONG nStyle = GetWindowLongW(hControl, GWL_STYLE);
    if (lstrcmpiW(wszClass, L"Static") != 0 || (nStyle & SS_TYPEMASK) != SS_LEFT)
        return 0;
    int nLen = GetWindowTextLengthW(hControl);
    std::vector<wchar_t> text(static_cast<size_t>(nLen) + 1, L'\0');
    GetWindowTextW(hControl, text.data(), nLen + 1);
    HDC hDC = GetDC(hControl);
    if (!hDC)
        return 0;
    HGDIOBJ hOld = SelectObject(hDC, reinterpret_cast<HFONT>(SendMessageW(hControl, WM_GETFONT, 0, 0)));
    RECT rcText = {0, 0, 0, 0};
    UINT uFormat = DT_CALCRECT | DT_SINGLELINE | ((nStyle & SS_NOPREFIX) ? DT_NOPREFIX : 0);
    DrawTextW(hDC, text.data(), -1, &rcText, uFormat);
    SelectObject(hDC, hOld);
    ReleaseDC(hControl, hDC);
    return rcText.right - rcText.left;
}

}  // namespace

BOOL CAboutDlg::OnInitDialog() {
    KDialog::OnInitDialog();
    m_Font.Apply(m_hWnd);
    // The template leaves room for the texts in the usual fonts; a wider font (the system picks
    // the face that stands in for "宋体") must not cut them.
    RECT rcMargin = {7, 7, 0, 0};
    MapDialogRect(m_hWnd, &rcMargin);
    RECT rcClient;
    GetClientRect(m_hWnd, &rcClient);
    int nGrow = 0;
    for (HWND hChild = GetWindow(m_hWnd, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        int nWidth = s_TextWidth(hChild);
        RECT rc;
        GetWindowRect(hChild, &rc);
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        if (nWidth <= rc.right - rc.left)
            continue;
        SetWindowPos(hChild, nullptr, 0, 0, nWidth, rc.bottom - rc.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        int nRight = rc.left + nWidth + rcMargin.left;
        if (nRight - rcClient.right > nGrow)
            nGrow = nRight - rcClient.right;
    }
    if (nGrow > 0) {
        RECT rcWindow;
        GetWindowRect(m_hWnd, &rcWindow);
        SetWindowPos(m_hWnd, nullptr, 0, 0, rcWindow.right - rcWindow.left + nGrow, rcWindow.bottom - rcWindow.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        // The OK button keeps its place at the right edge.
        if (HWND hOk = GetDlgItem(m_hWnd, IDOK)) {
            RECT rcOk;
            GetWindowRect(hOk, &rcOk);
            MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rcOk), 2);
            SetWindowPos(hOk, nullptr, rcOk.left + nGrow, rcOk.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    return TRUE;
}
