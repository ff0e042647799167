// The main dialog's side of the control surface. The install worker calls these operations on
// its own thread. Lines and progress steps are queued (m_Reports) and shown by the dialog's
// thread in batches, one repaint each; OnInstallBegin and OnInstallEnd show what is queued
// first. Every other request is carried out whole on the dialog's thread (OnWindowThread), so a
// request never interleaves with a handler or with another request, and every timer and tray
// request is made by the thread that owns the window.
#include <string>
#include <vector>

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
    if (!SendMessageW(hWnd, WM_SHELL_REQUEST, 0, reinterpret_cast<LPARAM>(&request)))
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

void CMendwrightDlg::Reported(bool bNoticeDue) {
    if (!m_dwWindowThread || GetCurrentThreadId() == m_dwWindowThread) {
        ShowReports();
        return;
    }
    // One notice per burst: until the dialog's thread finds the queue empty, its timer takes
    // whatever comes.
    HWND hWnd = m_hWnd;
    if (bNoticeDue && hWnd)
        PostMessageW(hWnd, WM_SHELL_REPORTS, 0, 0);
}

void CMendwrightDlg::OnReportsDue() {
    // While reports keep coming they are shown once a period: a batch and one repaint each time,
    // and the window's input and paint messages in between.
    if (ShowReports()) {
        if (!m_bReportTimer)
            m_bReportTimer = SetTimer(m_hWnd, TIMER_REPORTS, REPORT_PERIOD_MS, nullptr) != 0;
    } else if (m_bReportTimer) {
        KillTimer(m_hWnd, TIMER_REPORTS);
        m_bReportTimer = false;
    }
}

int CMendwrightDlg::ShowReports() {
    KReportBatch batch;
    if (!m_Reports.Take(&batch))
        return 0;
    if (batch.bAppendToCurrent || !batch.newLines.empty())
        ShowLines(&batch);
    m_Progress.StepMany(batch.nSteps);
    if (batch.nShow >= 0)
        m_Progress.Show(batch.nShow ? SW_SHOW : SW_HIDE);
    return 1;
}

void CMendwrightDlg::ShowLines(KReportBatch* pBatch) {
    // Drawing is suspended for the whole batch: the list repaints once, with its last line in
    // view.
    bool bShown = m_MessageList.IsShown() != FALSE;
    if (bShown)
        m_MessageList.SetRedraw(FALSE);
    std::vector<std::string>& lines = pBatch->newLines;
    if (pBatch->bAppendToCurrent) {
        // The current line is the one the last AddMessage created, even when the player has
        // selected another line since.
        int nLine = m_nCurrentLine;
        std::string strLine = pBatch->strAppendToCurrent;
        if (nLine < 0 || nLine >= m_MessageList.Count()) {
            nLine = m_MessageList.InsertAt(m_MessageList.Count(), strLine.c_str());
        } else {
            strLine = m_MessageList.TextAt(nLine) + strLine;
            m_MessageList.RemoveAt(nLine);
            nLine = m_MessageList.InsertAt(nLine, strLine.c_str());
        }
        if (nLine >= 0)
            m_nCurrentLine = nLine;
        // Measured with the new lines below.
        lines.insert(lines.begin(), strLine);
    }
    for (size_t i = pBatch->bAppendToCurrent ? 1 : 0; i < lines.size(); ++i) {
        // An insert at the end by index: the list's sort style never reorders the lines.
        int nLine = m_MessageList.InsertAt(m_MessageList.Count(), lines[i].c_str());
        if (nLine >= 0)
            m_nCurrentLine = nLine;
    }
    // The width first: a horizontal scroll bar that appears now takes a line's height from the
    // list, and the selection must bring the last line into view above it.
    m_MessageList.FitWidth(lines);
    if (m_nCurrentLine >= 0)
        m_MessageList.Select(m_nCurrentLine);
    if (bShown)
        m_MessageList.SetRedraw(TRUE);
}

int CMendwrightDlg::AddMessage(const char* pszText) {
    if (!pszText)
        return 0;
    Reported(m_Reports.AddLine(pszText));
    return 1;
}

int CMendwrightDlg::AppendMessage(const char* pszText) {
    if (!pszText)
        return 0;
    Reported(m_Reports.AppendToLine(pszText));
    return 1;
}

int CMendwrightDlg::ReportError(const char*) {
    return 1;
}

int CMendwrightDlg::OnInstallBegin() {
    return OnWindowThread(1, [this]() {
        ShowReports();
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
        // Every line and step reported before the end is shown before it.
        ShowReports();
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
        // A run cancelled by a way out ends with the program: no balloon for it. Nor for an
        // unattended start that left the work to another installation: it ends five seconds
        // later, as after a success.
        bool bLeaveToOther = !bSucceeded && m_bOtherInstallation && !m_bShown;
        m_bOtherInstallation = false;
        if (!m_bShown && !m_bEnding && !bLeaveToOther)
            ShowStateBalloon();
        if (bLeaveToOther)
            SetTimer(m_hWnd, 1, 5000, nullptr);
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
    Reported(m_Reports.ShowProgress(bShow));
    return 1;
}

int CMendwrightDlg::SetUpdateButtonText(const char* pszText) {
    return OnWindowThread(1, [this, pszText]() {
        m_UpdateButton.SetText(pszText ? pszText : "");
        return 1;
    });
}

int CMendwrightDlg::StepProgress() {
    Reported(m_Reports.StepProgress());
    return 1;
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
