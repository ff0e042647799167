#include "app/controls.h"

#include <vector>

void KWnd::SetRedraw(BOOL bRedraw) {
    // The control's own bookkeeping first (a list box defers its scrolling and repainting), then
    // the window's visible style, which a list box leaves alone: while it is set, the list's
    // scroll bars are drawn at once whenever they change (measured under Wine: 6 to 12 ms each
    // time, most of a batch's cost).
    if (bRedraw) {
        ::SendMessageW(m_hWnd, WM_SETREDRAW, TRUE, 0);
        ::DefWindowProcW(m_hWnd, WM_SETREDRAW, TRUE, 0);
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    } else {
        ::SendMessageW(m_hWnd, WM_SETREDRAW, FALSE, 0);
        ::DefWindowProcW(m_hWnd, WM_SETREDRAW, FALSE, 0);
    }
}

std::string KListBox::TextAt(int nIndex) const {
    LRESULT nLen = ::SendMessageW(m_hWnd, LB_GETTEXTLEN, static_cast<WPARAM>(nIndex), 0);
    if (nLen == LB_ERR || nLen < 0)
        return std::string();
    std::vector<wchar_t> text(static_cast<size_t>(nLen) + 1, L'\0');
    if (::SendMessageW(m_hWnd, LB_GETTEXT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(text.data())) == LB_ERR)
        return std::string();
    return WideToUtf8(text.data());
}

void KListBox::FitWidth(const std::vector<std::string>& lines) {
    if (!m_hWnd || lines.empty())
        return;
    HDC hDC = ::GetDC(m_hWnd);
    if (!hDC)
        return;
    HGDIOBJ hOldFont = nullptr;
    if (HFONT hFont = reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0)))
        hOldFont = ::SelectObject(hDC, hFont);
    LONG nWidest = 0;
    for (const std::string& strLine : lines) {
        SIZE size = {0, 0};
        std::wstring wstrLine = Utf8ToWide(strLine);
        ::GetTextExtentPoint32W(hDC, wstrLine.c_str(), static_cast<int>(wstrLine.size()), &size);
        if (size.cx > nWidest)
            nWidest = size.cx;
    }
    if (hOldFont)
        ::SelectObject(hDC, hOldFont);
    ::ReleaseDC(m_hWnd, hDC);
    // A few pixels for the margin the list keeps before each line.
    LRESULT nWidth = nWidest + 8;
    if (nWidth > ::SendMessageW(m_hWnd, LB_GETHORIZONTALEXTENT, 0, 0))
        ::SendMessageW(m_hWnd, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(nWidth), 0);
}

void KProgressCtrl::StepMany(int nSteps) {
    if (nSteps <= 0)
        return;
    PBRANGE range = {0, 0};
    ::SendMessageW(m_hWnd, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    std::vector<int> key = {range.iLow, range.iHigh, static_cast<int>(::SendMessageW(m_hWnd, PBM_GETSTEP, 0, 0))};
    if (key != m_RangeKey) {
        m_NextPosition.clear();
        m_RangeKey = key;
    }
    int nShown = Position();
    int nPos = nShown;
    for (int i = 0; i < nSteps; ++i) {
        std::map<int, int>::const_iterator known = m_NextPosition.find(nPos);
        if (known != m_NextPosition.end()) {
            nPos = known->second;
            continue;
        }
        if (nShown != nPos)
            SetPosition(nPos);
        Step();
        nShown = Position();
        m_NextPosition[nPos] = nShown;
        nPos = nShown;
    }
    if (nShown != nPos)
        SetPosition(nPos);
}
