// The main dialog: the program's only window. Shows the banner, the game folder with its browser,
// the message list, the progress bar and the Update, Run Game and Quit buttons; implements the
// control surface through which the install worker reports; owns the tray icon, the banner
// picture and the update semaphore.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/controls.h"
#include "app/dialog_base.h"
#include "app/picture_show.h"
#include "app/readable_font.h"
#include "app/report_queue.h"
#include "app/shell_ctrl.h"
#include "app/tray_icon.h"
#include "core/update_installer.h"
#include "install/install_worker.h"
#include "install/update_command.h"

class CAboutDlg;
class KUpdateSemaphore;

class CMendwrightDlg : public KDialog, public IKShellCtrl, private IKUpdateFrontEnd {
public:
    enum {
        INSTALL_IDLE = 0,
        INSTALL_RUNNING = 1,
        INSTALL_DONE = 2,
        INSTALL_FAILED = 3,
    };

    CMendwrightDlg();
    ~CMendwrightDlg() override;

    // The control surface (shell_ctrl_impl.cpp). Called from the install worker, lines and
    // progress are queued and shown by the dialog's own thread a batch at a time; every other
    // request is carried out on that thread while the worker waits. So the controls, the install
    // state and the tray data are only ever touched by that thread.
    int AddMessage(const char* pszText) override;
    int AppendMessage(const char* pszText) override;
    int ReportError(const char* pszText) override;
    int OnInstallBegin() override;
    int OnInstallEnd(int bSucceeded) override;
    int ShowProgress(int bShow) override;
    int SetUpdateButtonText(const char* pszText) override;
    int StepProgress() override;
    const char* GetGamePath() override;
    const char* GetPackagePath() override;
    KUpdateInstaller* GetUpdateInstaller() override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(KDataExchange* pDX) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override;
    void OnCancel() override;
    BOOL OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    // Handlers and steps of the dialog (mendwright_dlg.cpp).
    void LoadTexts();
    void OnPaint();
    void OnBnClickedUpdate();
    void OnBnClickedBrowse();
    void OnBnClickedRunGame();
    // 1 when the launcher pszLauncher is there; otherwise says so with a line and returns 0.
    int CheckLauncher(const char* pszLauncher);
    void OnQuit();
    // Every way out: cancels the checks of an Update under way (its question is closed), stops
    // the worker and closes the About box, so that nothing runs on after the dialog.
    void StopEverything();
    void ShowAbout();
    void OnDestroy();
    void OnTimer(UINT_PTR nIDEvent);
    void OnWindowPosChanging(WINDOWPOS* pPos);
    void CenterOnScreen();

    // The update command's front end.
    void ShowGameRunning(int nTextId) override;
    void TakeGamePath() override;
    bool ConfirmReinstall() override;
    void OfferGameUpdater() override;

    // Tray icon and balloons (mendwright_tray.cpp).
    void AddTrayIcon();
    int ShowBalloon(const char* pszText, const char* pszTitle, int nTimeout, int nInfoFlags);
    int ShowStateBalloon();
    void ShowFromTray();
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void OnSize(UINT nType, int cx, int cy);
    // The shell has restarted (its taskbar was created again): the icon is added again.
    void OnTaskbarCreated();

    // The unattended start (unattended_start.cpp): packages handed over on the command line.
    void StartUnattended();
    void MarkHandoffPackages();
    void NotifyResourceList();
    void HideToTray();
    void DeleteHandoffFiles();

    // The message that carries a request of another thread to the dialog's thread.
    static const UINT WM_SHELL_REQUEST = WM_APP + 1;
    // Runs fnRequest on the dialog's thread: at once when called there, otherwise as a
    // synchronous window request. nFallback when the window is gone.
    int OnWindowThread(int nFallback, const std::function<int()>& fnRequest);
    // The request message's handler.
    LRESULT OnShellRequest(LPARAM lParam);

    // The notice that reports wait in m_Reports, posted once per burst; then the timer takes
    // them every REPORT_PERIOD_MS until the queue is found empty. Each take repaints the list,
    // which under Wine costs the window's thread several milliseconds: about fourteen a second
    // keep the newest line in view without slowing the copy.
    static const UINT WM_SHELL_REPORTS = WM_APP + 2;
    enum { TIMER_REPORTS = 2, REPORT_PERIOD_MS = 70 };
    // After a report was queued: shows it at once on the dialog's thread, else posts the notice
    // when bNoticeDue.
    void Reported(bool bNoticeDue);
    // The notice's and the timer's handler.
    void OnReportsDue();
    // Shows every queued report with one repaint of the list. 0 when none was queued.
    int ShowReports();
    // The batch's lines: changes pBatch's lines into the texts shown.
    void ShowLines(KReportBatch* pBatch);

    KButton m_GamePathFrame;
    KButton m_QuitButton;
    KButton m_RunGameButton;
    KProgressCtrl m_Progress;
    KButton m_UpdateButton;
    KListBox m_MessageList;
    std::string m_strGamePath;  // the game folder as last taken over from edit 1000
    KUpdateInstaller m_Installer;
    char m_szPackagePath[MAX_PATH];
    KInstallWorker m_Worker;
    KTrayIcon m_Tray;
    RECT m_rcStartup;
    int m_nInstallState;
    int m_bShown;
    KUpdateSemaphore* m_pUpdateSemaphore;
    HICON m_hIcon;
    KPictureShow m_Picture;
    KReadableFont m_Font;

    DWORD m_dwWindowThread;
    // The message the shell broadcasts when its taskbar is created (after a restart).
    UINT m_uTaskbarCreated;
    // 1 while the Update command runs on the dialog's thread: its checks may show a question or
    // wait for the resource list while messages are dispatched, and a second press must not
    // start the command again.
    int m_bUpdateCommandRunning;
    // 1 from the start of a worker until its OnInstallEnd.
    int m_bAwaitingInstallEnd;
    // 1 once a way out has been taken: nothing is started any more.
    int m_bEnding;
    // The About box while it is shown, else null: one at a time.
    CAboutDlg* m_pAbout;
    // The line AppendMessage extends: the one the last AddMessage created, or -1.
    int m_nCurrentLine;
    // Lines and progress reported by the worker, waiting for this window's thread.
    KReportQueue m_Reports;
    bool m_bReportTimer = false;  // TIMER_REPORTS runs
    // An unattended start found another installation on its game folder: that one does the work,
    // and this one leaves without a failure balloon.
    bool m_bOtherInstallation = false;
    // GetGamePath's answer to the worker thread, stable until its next call.
    std::string m_strWorkerGamePath;
};
