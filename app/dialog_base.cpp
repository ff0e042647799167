#include "app/dialog_base.h"

#include <vector>

#include "app/controls.h"
#include "core/win_text.h"

void KDataExchange::Control(int nID, KWnd* pControl) const {
    if (pControl)
        pControl->m_hWnd = GetDlgItem(hDlg, nID);
}

void KDataExchange::Text(int nID, std::string* pstrText) const {
    HWND hControl = GetDlgItem(hDlg, nID);
    if (!hControl || !pstrText)
        return;
    if (!bSaveAndValidate) {
        SetWindowTextW(hControl, Utf8ToWide(*pstrText).c_str());
        return;
    }
    int nLen = GetWindowTextLengthW(hControl);
    std::vector<wchar_t> text(static_cast<size_t>(nLen > 0 ? nLen : 0) + 1, L'\0');
    GetWindowTextW(hControl, text.data(), static_cast<int>(text.size()));
    *pstrText = WideToUtf8(text.data());
}

KDialog::KDialog(int nTemplateId) : m_hWnd(nullptr), m_nTemplateId(nTemplateId) {}

KDialog::~KDialog() {}

INT_PTR KDialog::DoModal(HWND hParent) {
    // A Unicode dialog: its texts are shown whatever the system's ANSI code page.
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nTemplateId), hParent, s_DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void KDialog::EndDialog(int nResult) {
    if (!m_hWnd)
        return;
    // A popup menu open on this thread (the tray menu) runs its own loop, which would keep the
    // dialog, and the process, alive until the player dismissed it.
    if (GetWindowThreadProcessId(m_hWnd, nullptr) == GetCurrentThreadId())
        EndMenu();
    ::EndDialog(m_hWnd, nResult);
}

BOOL KDialog::UpdateData(BOOL bSaveAndValidate) {
    if (!m_hWnd)
        return FALSE;
    KDataExchange dx = {m_hWnd, bSaveAndValidate};
    DoDataExchange(&dx);
    return TRUE;
}

BOOL KDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void KDialog::DoDataExchange(KDataExchange*) {}

BOOL KDialog::OnCommand(WPARAM wParam, LPARAM) {
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOK();
        return TRUE;
    case IDCANCEL:
        OnCancel();
        return TRUE;
    default:
        return FALSE;
    }
}

void KDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void KDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

BOOL KDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT*) {
    return FALSE;
}

INT_PTR CALLBACK KDialog::s_DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    KDialog* pDialog = nullptr;
    if (uMsg == WM_INITDIALOG) {
        pDialog = reinterpret_cast<KDialog*>(lParam);
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        pDialog->m_hWnd = hWnd;
    } else {
        pDialog = reinterpret_cast<KDialog*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    }
    if (!pDialog)
        return FALSE;  // messages before WM_INITDIALOG (WM_SETFONT and the like)
    INT_PTR nResult = pDialog->Dispatch(uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        pDialog->m_hWnd = nullptr;
    }
    return nResult;
}

INT_PTR KDialog::Dispatch(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        if (OnCommand(wParam, lParam))
            return TRUE;
        break;
    default:
        break;
    }
    LRESULT lResult = 0;
    if (!OnMessage(uMsg, wParam, lParam, &lResult))
        return FALSE;  // the dialog manager's default processing
    // Most results of a dialog procedure go through DWLP_MSGRESULT; these few are returned as is.
    switch (uMsg) {
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
        return static_cast<INT_PTR>(lResult);
    default:
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, lResult);
        return TRUE;
    }
}
