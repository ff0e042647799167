// The main dialog's side of the control surface. The install worker calls these operations on
// its own thread; each one is carried out whole on the dialog's thread (OnWindowThread), so a
// request never interleaves with a handler or with another request, and every timer and tray
// request is made by the thread that owns the window.
#include <string>

#include "app/mendwright_dlg.h"
#include "core/update_semaphore.h"

namespace {

struct KShellRequest {
    const std::function<int()>* pfnRequest;
    int nResult;
};

}  // namespace

int CMendwrightDlg::OnWindowThread(int nFallback, const std::function<int()>& fnRequest) {
    HWND hWnd = m_hWnd;
    if (GetCurrentThreadId() == m_dwWindowThread || !m_dwWindowThread)
        return fnRequest();
    if (!hWnd)
        return nFallback;
    KShellRequest request = {&fnRequest, nFallback};
    // Fails at once when the window is gone; the request then has no effect.
    if (!SendMessageA(hWnd, WM_SHELL_REQUEST, 0, reinterpret_cast<LPARAM>(&request)))
        return nFallback;
    return request.nResult;
}

LRESULT CMendwrightDlg::OnShellRequest(LPARAM lParam) {
    KShellRequest* pRequest = reinterpret_cast<KShellRequest*>(lParam);
    if (!pRequest || !pRequest->pfnRequest)
        return 0;
    pRequest->nResult = (*pRequest->pfnRequest)();
    return 1;
}

int CMendwrightDlg::AddMessage(const char* pszText) {
    if (!pszText)
        return 0;
    return OnWindowThread(1, [this, pszText]() {
        // An insert at the end by index: the list's sort style never reorders the lines.
        m_MessageList.SetRedraw(FALSE);
        int nLine = m_MessageList.InsertAt(m_MessageList.Count(), pszText);
        if (nLine >= 0) {
            m_nCurrentLine = nLine;
            m_MessageList.Select(nLine);
            m_MessageList.FitWidth(pszText);
        }
        m_MessageList.SetRedraw(TRUE);
        return 1;
    });
}

int CMendwrightDlg::AppendMessage(const char* pszText) {
    if (!pszText)
        return 0;
    return OnWindowThread(1, [this, pszText]() {
        // The current line is the one the last AddMessage created, even when the player has
        // selected another line since.
        int nLine = m_nCurrentLine;
        std::string strLine = pszText;
        m_MessageList.SetRedraw(FALSE);
        if (nLine < 0 || nLine >= m_MessageList.Count()) {
            nLine = m_MessageList.InsertAt(m_MessageList.Count(), pszText);
        } else {
            strLine = m_MessageList.TextAt(nLine) + pszText;
            m_MessageList.RemoveAt(nLine);
            nLine = m_MessageList.InsertAt(nLine, strLine.c_str());
        }
        if (nLine >= 0) {
            m_nCurrentLine = nLine;
            m_MessageList.Select(nLine);
            m_MessageList.FitWidth(strLine.c_str());
        }
        m_MessageList.SetRedraw(TRUE);
        return 1;
    });
}

int CMendwrightDlg::ReportError(const char*) {
    return 1;
}

int CMendwrightDlg::OnInstallBegin() {
    return OnWindowThread(1, [this]() {
        m_nInstallState = INSTALL_RUNNING;
        m_UpdateButton.Enable(FALSE);
        m_RunGameButton.Enable(FALSE);
        if (!m_bShown)
            ShowStateBalloon();
        if (m_pUpdateSemaphore)
            m_pUpdateSemaphore->Acquire(0);
        return 1;
    });
}

int CMendwrightDlg::OnInstallEnd(int bSucceeded) {
    return OnWindowThread(1, [this, bSucceeded]() {
        m_bAwaitingInstallEnd = 0;
        m_UpdateButton.Enable(!bSucceeded);
        m_RunGameButton.Enable(bSucceeded ? TRUE : FALSE);
        if (bSucceeded) {
            m_nInstallState = INSTALL_DONE;  // the worker has hidden the progress bar already
        } else {
            m_Progress.SetPosition(0);
            m_Progress.Show(SW_HIDE);
            m_nInstallState = INSTALL_FAILED;
        }
        // A run cancelled by a way out ends with the program: no balloon for it.
        if (!m_bShown && !m_bEnding)
            ShowStateBalloon();
        if (m_pUpdateSemaphore && m_pUpdateSemaphore->m_hSemaphore)
            m_pUpdateSemaphore->Release();
        if (bSucceeded && m_Installer.IsPathFromIni()) {
            NotifyResourceList();
            // The unattended start ends five seconds after its installation succeeded, unless
            // the player has brought the window back.
            if (!m_bShown)
                SetTimer(m_hWnd, 1, 5000, nullptr);
        }
        return 1;
    });
}

int CMendwrightDlg::ShowProgress(int bShow) {
    return OnWindowThread(1, [this, bShow]() {
        m_Progress.Show(bShow ? SW_SHOW : SW_HIDE);
        return 1;
    });
}

int CMendwrightDlg::SetUpdateButtonText(const char* pszText) {
    return OnWindowThread(1, [this, pszText]() {
        m_UpdateButton.SetText(pszText ? pszText : "");
        return 1;
    });
}

int CMendwrightDlg::StepProgress() {
    return OnWindowThread(1, [this]() {
        m_Progress.Step();
        return 1;
    });
}

const char* CMendwrightDlg::GetGamePath() {
    if (GetCurrentThreadId() == m_dwWindowThread)
        return m_strGamePath.c_str();
    // Another thread gets a copy of its own: the dialog's string may change under it.
    OnWindowThread(0, [this]() {
        m_strWorkerGamePath = m_strGamePath;
        return 1;
    });
    return m_strWorkerGamePath.c_str();
}

const char* CMendwrightDlg::GetPackagePath() {
    return m_szPackagePath;
}

KUpdateInstaller* CMendwrightDlg::GetUpdateInstaller() {
    return &m_Installer;
}
