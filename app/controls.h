// Thin wrappers of the dialog's controls: a window handle and the few requests the dialog makes.
// Every request is a window message, so a call from another thread is carried out by the
// control's own thread while the caller waits.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

#include "core/win_text.h"

class KWnd {
public:
    KWnd() : m_hWnd(nullptr) {}
    void Enable(BOOL bEnable) { ::EnableWindow(m_hWnd, bEnable); }
    BOOL IsEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    void Show(int nCmdShow) { ::ShowWindow(m_hWnd, nCmdShow); }
    // pszText is UTF-8, as every text of the program.
    void SetText(const char* pszText) { ::SetWindowTextW(m_hWnd, Utf8ToWide(pszText).c_str()); }
    // Stops (FALSE) or resumes (TRUE) the control's drawing, its scroll bars included; resuming
    // repaints it whole once, later. Only for a shown control: resuming shows it.
    void SetRedraw(BOOL bRedraw);
    // The control's own visible style, whether or not its parent is shown.
    BOOL IsShown() const { return (::GetWindowLongW(m_hWnd, GWL_STYLE) & WS_VISIBLE) != 0; }

    HWND m_hWnd;  // bound by data exchange; not owned
};

class KButton : public KWnd {};

class KListBox : public KWnd {
public:
    int Count() const { return static_cast<int>(::SendMessageW(m_hWnd, LB_GETCOUNT, 0, 0)); }
    // Inserts at nIndex whatever the list's sort style says; the index of the line or LB_ERR.
    int InsertAt(int nIndex, const char* pszText) {
        std::wstring wstrText = Utf8ToWide(pszText);
        return static_cast<int>(::SendMessageW(m_hWnd, LB_INSERTSTRING, static_cast<WPARAM>(nIndex),
                                               reinterpret_cast<LPARAM>(wstrText.c_str())));
    }
    void RemoveAt(int nIndex) { ::SendMessageW(m_hWnd, LB_DELETESTRING, static_cast<WPARAM>(nIndex), 0); }
    void Select(int nIndex) { ::SendMessageW(m_hWnd, LB_SETCURSEL, static_cast<WPARAM>(nIndex), 0); }
    // The selected line, or LB_ERR.
    int Selected() const { return static_cast<int>(::SendMessageW(m_hWnd, LB_GETCURSEL, 0, 0)); }
    // The text of line nIndex; "" for no such line.
    std::string TextAt(int nIndex) const;
    // Widens the list's sideways scrolling range, if need be, so that every one of lines can be
    // read whole.
    void FitWidth(const std::vector<std::string>& lines);
};

class KProgressCtrl : public KWnd {
public:
    void SetPosition(int nPos) { ::SendMessageW(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(nPos), 0); }
    int Position() const { return static_cast<int>(::SendMessageW(m_hWnd, PBM_GETPOS, 0, 0)); }
    void Step() { ::SendMessageW(m_hWnd, PBM_STEPIT, 0, 0); }
    // Advances the bar nSteps steps, each exactly as Step would, but draws it once: the bar
    // draws itself at every step. Where a step leads from a position is learnt from the bar
    // itself the first time (a real step) and remembered; it depends only on the position, the
    // range and the step size.
    void StepMany(int nSteps);

private:
    // The position after a step from a position, for the range and step size in m_RangeKey.
    std::map<int, int> m_NextPosition;
    std::vector<int> m_RangeKey;  // low, high, step size
};
