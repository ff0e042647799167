// The small dialog layer under the application shell: a modal dialog whose window procedure
// forwards to virtual handlers, and the data exchange between controls and members.
#pragma once

#include <windows.h>

#include <string>

class KWnd;

// One direction of a data exchange: towards the members (bSaveAndValidate) or the controls.
struct KDataExchange {
    HWND hDlg;
    BOOL bSaveAndValidate;

    // Binds pControl to the dialog's control nID.
    void Control(int nID, KWnd* pControl) const;
    // Exchanges the text of control nID with *pstrText, with no limit and no validation.
    void Text(int nID, std::string* pstrText) const;
};

// A modal dialog on a template of the program's own module. One static dialog procedure keeps
// `this` in the window's user data from WM_INITDIALOG on and forwards every message to the
// virtual handlers below.
class KDialog {
public:
    explicit KDialog(int nTemplateId);
    virtual ~KDialog();
    KDialog(const KDialog&) = delete;
    KDialog& operator=(const KDialog&) = delete;

    // Runs the dialog modally; returns the result passed to EndDialog, or -1 when the window
    // could not be created.
    INT_PTR DoModal(HWND hParent = nullptr);
    // Ends the modal loop with nResult.
    void EndDialog(int nResult);
    // Runs DoDataExchange towards the members (bSaveAndValidate nonzero) or the controls.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // The dialog window while it exists, else null.
    HWND m_hWnd;

protected:
    // WM_INITDIALOG: exchanges data towards the controls. TRUE lets the system set the focus.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(KDataExchange* pDX);
    // WM_COMMAND: IDOK runs OnOK, IDCANCEL OnCancel. TRUE when handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // The Enter key without a default button: takes the data over and ends with IDOK.
    virtual void OnOK();
    // Esc and the close box: ends with IDCANCEL.
    virtual void OnCancel();
    // Every other message. TRUE when handled; *pResult is then the message's result.
    virtual BOOL OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

private:
    static INT_PTR CALLBACK s_DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT uMsg, WPARAM wParam, LPARAM lParam);

    int m_nTemplateId;
};
