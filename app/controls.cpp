#include "app/controls.h"

#include <cstring>
#include <vector>

std::string KListBox::TextAt(int nIndex) const {
    LRESULT nLen = ::SendMessageA(m_hWnd, LB_GETTEXTLEN, static_cast<WPARAM>(nIndex), 0);
    if (nLen == LB_ERR || nLen < 0)
        return std::string();
    // The list keeps UTF-16; LB_GETTEXTLEN may count characters rather than bytes, and a GBK
    // character takes two bytes.
    std::vector<char> text(static_cast<size_t>(nLen) * 2 + 2, '\0');
    if (::SendMessageA(m_hWnd, LB_GETTEXT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(text.data())) == LB_ERR)
        return std::string();
    return std::string(text.data());
}

void KListBox::FitWidth(const char* pszText) {
    if (!m_hWnd || !pszText)
        return;
    HDC hDC = ::GetDC(m_hWnd);
    if (!hDC)
        return;
    HGDIOBJ hOldFont = nullptr;
    if (HFONT hFont = reinterpret_cast<HFONT>(::SendMessageA(m_hWnd, WM_GETFONT, 0, 0)))
        hOldFont = ::SelectObject(hDC, hFont);
    SIZE size = {0, 0};
    ::GetTextExtentPoint32A(hDC, pszText, static_cast<int>(std::strlen(pszText)), &size);
    if (hOldFont)
        ::SelectObject(hDC, hOldFont);
    ::ReleaseDC(m_hWnd, hDC);
    // A few pixels for the margin the list keeps before each line.
    LRESULT nWidth = size.cx + 8;
    if (nWidth > ::SendMessageA(m_hWnd, LB_GETHORIZONTALEXTENT, 0, 0))
        ::SendMessageA(m_hWnd, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(nWidth), 0);
}
