#include "app/mendwright_dlg.h"

#include <cstdio>
#include <cstring>
#include <new>

#include <shellapi.h>

#include "app/about_dlg.h"
#include "app/choose_folder.h"
#include "app/launch_as_user.h"
#include "app/resource.h"
#include "core/string_ids.h"
#include "core/program_folder.h"
#include "core/string_table.h"
#include "core/text_copy.h"
#include "core/update_semaphore.h"
#include "core/win_text.h"

namespace {

const char s_szUpdateFile[] = "Update.dat";

}  // namespace

CMendwrightDlg::CMendwrightDlg()
    : KDialog(IDD_MENDWRIGHT_DIALOG),
      m_nInstallState(INSTALL_IDLE),
      m_bShown(1),
      m_pUpdateSemaphore(nullptr),
      m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_dwWindowThread(0),
      m_uTaskbarCreated(RegisterWindowMessageW(L"TaskbarCreated")),
      m_bUpdateCommandRunning(0),
      m_bAwaitingInstallEnd(0),
      m_bEnding(0),
      m_pAbout(nullptr),
      m_nCurrentLine(-1) {
    m_szPackagePath[0] = '\0';
    std::memset(&m_rcStartup, 0, sizeof(m_rcStartup));
}

CMendwrightDlg::~CMendwrightDlg() {
    // Normally the window's destruction has freed it; not when the window never existed.
    delete m_pUpdateSemaphore;
    m_pUpdateSemaphore = nullptr;
}

void CMendwrightDlg::DoDataExchange(KDataExchange* pDX) {
    KDialog::DoDataExchange(pDX);
    pDX->Control(IDC_GAME_PATH_FRAME, &m_GamePathFrame);
    pDX->Control(IDCANCEL, &m_QuitButton);
    pDX->Control(IDC_RUN_GAME, &m_RunGameButton);
    pDX->Control(IDC_PROGRESS, &m_Progress);
    pDX->Control(IDC_UPDATE, &m_UpdateButton);
    pDX->Control(IDC_MESSAGE_LIST, &m_MessageList);
    pDX->Text(IDC_GAME_PATH, &m_strGamePath);
}

BOOL CMendwrightDlg::OnInitDialog() {
    KDialog::OnInitDialog();
    m_dwWindowThread = GetCurrentThreadId();
    // The reinstall question belongs to the dialog: modal to it, closed when it ends.
    m_Installer.SetQuestionOwner(m_hWnd);
    // An installer started with administrator rights hears the shell's broadcast only if it
    // lets it through.
    if (m_uTaskbarCreated)
        ChangeWindowMessageFilterEx(m_hWnd, m_uTaskbarCreated, MSGFLT_ALLOW, nullptr);

    // The package folder: this program's folder. When its path cannot be read whole there is
    // none, and Update.dat is reported missing.
    GetProgramFolder(m_szPackagePath, sizeof(m_szPackagePath));
    std::string strUpdateFile;
    if (m_szPackagePath[0])
        strUpdateFile = std::string(m_szPackagePath) + "\\" + s_szUpdateFile;
    m_Installer.Init(strUpdateFile.c_str(), this);
    RecoverAtStartUp(m_Installer.m_strGamePath.c_str(), this);

    m_Worker.m_pShellCtrl = this;

    // Named after the folder found at start-up; a folder chosen later does not rename it.
    m_pUpdateSemaphore = new (std::nothrow) KUpdateSemaphore;
    if (m_pUpdateSemaphore) {
        m_pUpdateSemaphore->m_hSemaphore = nullptr;
        CopyTextCut(m_pUpdateSemaphore->m_szName, MakeSemaphoreName("UPDATE", m_Installer.m_strGamePath.c_str()),
                    sizeof(m_pUpdateSemaphore->m_szName));
    }

    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    LoadTexts();
    m_Font.Apply(m_hWnd);

    CenterOnScreen();
    GetWindowRect(m_hWnd, &m_rcStartup);
    m_nInstallState = INSTALL_IDLE;
    m_bShown = 1;

    AddTrayIcon();
    if (m_Installer.IsPathFromIni())
        StartUnattended();
    return TRUE;
}

void CMendwrightDlg::LoadTexts() {
    char szTitle[KXML_TEXT_SIZE] = {0};
    m_Installer.GetAppTitle(szTitle);
    SetWindowTextW(m_hWnd, Utf8ToWide(szTitle[0] ? szTitle : GetString(IDS_PRODUCT_NAME)).c_str());

    m_Picture.LoadFromResource(GetModuleHandleW(nullptr), MAKEINTRESOURCEA(IDR_BANNER), RT_BANNER_JPG);

    m_strGamePath = m_Installer.m_strGamePath;
    m_GamePathFrame.SetText(GetString(IDS_FRAME_CAPTION));
    m_UpdateButton.SetText(GetString(IDS_UPDATE_CAPTION));
    m_RunGameButton.SetText(GetString(IDS_RUN_GAME_CAPTION));
    m_QuitButton.SetText(GetString(IDS_QUIT_CAPTION));
    UpdateData(FALSE);
}

void CMendwrightDlg::CenterOnScreen() {
    RECT rcWindow;
    GetWindowRect(m_hWnd, &rcWindow);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    RECT rcArea;
    if (GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor))
        rcArea = monitor.rcWork;
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcArea, 0);
    int nWidth = rcWindow.right - rcWindow.left;
    int nHeight = rcWindow.bottom - rcWindow.top;
    int nLeft = rcArea.left + (rcArea.right - rcArea.left - nWidth) / 2;
    int nTop = rcArea.top + (rcArea.bottom - rcArea.top - nHeight) / 2;
    SetWindowPos(m_hWnd, nullptr, nLeft, nTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CMendwrightDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    UINT uId = LOWORD(wParam);
    switch (uId) {
    case ID_TRAY_SHOW:
        ShowFromTray();
        return TRUE;
    case ID_TRAY_ABOUT:
        ShowAbout();
        return TRUE;
    case ID_TRAY_EXIT:
        OnQuit();
        return TRUE;
    default:
        break;
    }
    if (HIWORD(wParam) == BN_CLICKED) {
        switch (uId) {
        case IDC_UPDATE:
            OnBnClickedUpdate();
            return TRUE;
        case IDC_BROWSE:
            OnBnClickedBrowse();
            return TRUE;
        case IDC_RUN_GAME:
            OnBnClickedRunGame();
            return TRUE;
        case IDCANCEL:
            OnQuit();
            return TRUE;
        default:
            break;
        }
    }
    return KDialog::OnCommand(wParam, lParam);
}

BOOL CMendwrightDlg::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (uMsg == m_uTaskbarCreated && m_uTaskbarCreated) {
        OnTaskbarCreated();
        return FALSE;
    }
    switch (uMsg) {
    case WM_PAINT:
        OnPaint();
        *pResult = 0;
        return TRUE;
    case WM_QUERYDRAGICON:
        *pResult = reinterpret_cast<LRESULT>(m_hIcon);
        return TRUE;
    case WM_TRAY_NOTIFY:
        *pResult = OnTrayNotify(wParam, lParam);
        return TRUE;
    case WM_TIMER:
        if (wParam == TIMER_REPORTS) {
            OnReportsDue();
            *pResult = 0;
            return TRUE;
        }
        OnTimer(static_cast<UINT_PTR>(wParam));
        return FALSE;  // and the default processing
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return FALSE;
    case WM_WINDOWPOSCHANGING:
        OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(lParam));
        return FALSE;
    case WM_SHELL_REQUEST:
        *pResult = OnShellRequest(lParam);
        return TRUE;
    case WM_SHELL_REPORTS:
        OnReportsDue();
        *pResult = 0;
        return TRUE;
    default:
        return FALSE;
    }
}

void CMendwrightDlg::OnPaint() {
    PAINTSTRUCT paint;
    HDC hDC = BeginPaint(m_hWnd, &paint);
    if (IsIconic(m_hWnd)) {
        SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hDC), 0);
        RECT rcClient;
        GetClientRect(m_hWnd, &rcClient);
        int nLeft = (rcClient.right - rcClient.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
        int nTop = (rcClient.bottom - rcClient.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
        DrawIcon(hDC, nLeft, nTop, m_hIcon);
    } else {
        RECT rcPicture;
        HWND hFrame = GetDlgItem(m_hWnd, IDC_PICTURE);
        if (hFrame && GetWindowRect(hFrame, &rcPicture)) {
            MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rcPicture), 2);
            m_Picture.Render(hDC, &rcPicture);
        }
    }
    EndPaint(m_hWnd, &paint);
}

void CMendwrightDlg::OnBnClickedUpdate() {
    // Until the worker this dialog started has reported its end, a press starts nothing: one
    // before the worker has disabled the button, or a click sent to the disabled button. The
    // command's checks may show the reinstall question or wait for the resource list while
    // messages are dispatched: a press meanwhile must not run it again either (the question has
    // the dialog disabled, but a click can still be sent).
    if (m_bAwaitingInstallEnd || m_bUpdateCommandRunning || m_bEnding)
        return;
    // A worker that has reported its end may still be unwinding: it is let finish, so that the
    // new run can start at once.
    m_Worker.Stop();
    m_bUpdateCommandRunning = 1;
    m_bAwaitingInstallEnd = RunUpdateCommand(this, this, &m_Worker) == KUPDATE_STARTED ? 1 : 0;
    m_bUpdateCommandRunning = 0;
}

void CMendwrightDlg::ShowGameRunning(int nTextId) {
    // Started unattended and hidden in the tray: no box waits for a player; the line and the
    // failure balloon say it.
    if (m_Installer.IsPathFromIni() && !m_bShown) {
        AddMessage(GetString(nTextId));
        m_bOtherInstallation = nTextId == IDS_UPDATE_RUNNING;
        return;
    }
    MessageBoxW(m_hWnd, Utf8ToWide(GetString(nTextId)).c_str(), Utf8ToWide(GetString(IDS_PRODUCT_NAME)).c_str(), MB_OK);
}

void CMendwrightDlg::TakeGamePath() {
    UpdateData(TRUE);
}

bool CMendwrightDlg::ConfirmReinstall() {
    // Unattended, no box waits for a player: the installation is not made.
    if (m_Installer.IsPathFromIni() && !m_bShown) {
        AddMessage(GetString(IDS_ALREADY_NEWEST));
        return false;
    }
    return m_Installer.AskQuestion(IDS_ALREADY_NEWEST, MB_YESNO) == IDYES && !m_bEnding;
}

void CMendwrightDlg::OfferGameUpdater() {
    if (m_Installer.IsPathFromIni() && !m_bShown) {
        AddMessage(GetString(IDS_GAME_TOO_OLD));
        return;
    }
    // The game's launcher runs its own updater; as Run Game, it starts as the signed-in player
    // and the installer ends.
    if (m_Installer.AskQuestion(IDS_GAME_TOO_OLD, MB_OKCANCEL) == IDOK && !m_bEnding)
        OnBnClickedRunGame();
}

void CMendwrightDlg::OnBnClickedBrowse() {
    // The Update command checks the folder it took over; another one must not slip in while it
    // waits for the resource list.
    if (m_bUpdateCommandRunning)
        return;
    char szPath[MW_PATH_BYTES] = {0};
    if (ChooseFolder(GetString(IDS_CHOOSE_FOLDER), szPath, m_hWnd))
        m_strGamePath = szPath;
    SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
    UpdateData(FALSE);
}

void CMendwrightDlg::OnBnClickedRunGame() {
    char szLauncher[MW_PATH_BYTES] = {0};
    int nLen = std::snprintf(szLauncher, sizeof(szLauncher), "%s\\velmora.exe", m_strGamePath.c_str());
    if (!CheckLauncher(szLauncher))
        return;
    // A folder too long for the buffer would open some other, shortened path: nothing is opened.
    if (nLen > 0 && static_cast<size_t>(nLen) < sizeof(szLauncher) && FitsMaxPath(szLauncher))
        OpenAsSignedInUser(m_hWnd, szLauncher, m_strGamePath.c_str());
    OnQuit();
}

int CMendwrightDlg::CheckLauncher(const char* pszLauncher) {
    DWORD dwAttributes = GetFileAttributesU8(pszLauncher);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 1;
    // Nothing to start: the player is told, and the installer stays.
    AddMessage(FormatBalloonText(GetString(IDS_LAUNCHER_MISSING), pszLauncher).c_str());
    return 0;
}

void CMendwrightDlg::OnQuit() {
    StopEverything();
    DeleteHandoffFiles();
    KDialog::OnOK();
}

void CMendwrightDlg::OnOK() {
    // Enter ends the dialog as Quit does: the worker is stopped first, so that it never reports to
    // a window, a tray icon or a semaphore that the window's destruction has taken away, and the
    // unattended start's handoff files go, so that no later start takes them for its own.
    OnQuit();
}

void CMendwrightDlg::StopEverything() {
    m_bEnding = 1;
    // A way out taken while the Update command waits (its question is open, or the resource
    // list loads) cancels the installation before it starts.
    m_Installer.CancelChecks();
    m_Worker.Stop();
    if (m_pAbout)
        m_pAbout->EndDialog(IDCANCEL);
}

void CMendwrightDlg::ShowAbout() {
    if (m_pAbout) {
        if (m_pAbout->m_hWnd)
            SetForegroundWindow(m_pAbout->m_hWnd);
        return;
    }
    if (m_bEnding)
        return;
    CAboutDlg about;
    m_pAbout = &about;
    about.DoModal(m_hWnd);
    m_pAbout = nullptr;
}

void CMendwrightDlg::OnCancel() {
    OnQuit();
}

void CMendwrightDlg::OnDestroy() {
    if (m_pUpdateSemaphore) {
        m_pUpdateSemaphore->Release();
        delete m_pUpdateSemaphore;
        m_pUpdateSemaphore = nullptr;
    }
    m_Tray.Remove();
}

void CMendwrightDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == 0) {
        // The modal loop shows the dialog after its initialisation; the unattended start keeps
        // it hidden (see OnWindowPosChanging).
        KillTimer(m_hWnd, 0);
        ShowWindow(m_hWnd, SW_HIDE);
    } else if (nIDEvent == 1) {
        KillTimer(m_hWnd, 1);
        OnQuit();
    }
}

void CMendwrightDlg::OnWindowPosChanging(WINDOWPOS* pPos) {
    // While the dialog lives in the tray only ShowFromTray brings it back. The modal loop shows
    // the dialog when its queue first runs empty, which may come after the unattended start's
    // timer has hidden it (a message box during the start-up lets the timer fire early).
    if (pPos && !m_bShown)
        pPos->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
}
