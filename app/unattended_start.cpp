// The unattended start: the game's resource-list program hands packages over on the command line
// and names the game folder in a handoff file per package in the temporary folder. The dialog
// then marks those packages, tells the resource-list window, hides in the tray, installs by
// itself and quits five seconds after success.
#include <string>

#include "app/mendwright_dlg.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/win_text.h"

namespace {

// Message the resource-list window expects when the installer starts and when it has installed.
const UINT WM_RESOURCE_LIST_NOTIFY = 9110;
// A hung resource-list window must not hang the installer.
const UINT RESOURCE_LIST_TIMEOUT_MS = 5000;

}  // namespace

void CMendwrightDlg::StartUnattended() {
    MarkHandoffPackages();
    NotifyResourceList();
    HideToTray();
    ShowStateBalloon();
    OnBnClickedUpdate();
}

void CMendwrightDlg::MarkHandoffPackages() {
    KResourceList& resources = m_Installer.m_ResourceList;
    for (const KResourceEntry& handoff : m_Installer.m_HandoffList) {
        if (resources.GetInstallState(handoff.szName) != 1)
            resources.SetInstallStateByName(handoff.szName, 2);
    }
}

void CMendwrightDlg::NotifyResourceList() {
    // "Tarnwick-资源列表对话框"
    HWND hList = FindWindowW(nullptr, L"Tarnwick-\u8d44\u6e90\u5217\u8868\u5bf9\u8bdd\u6846");
    if (!hList)
        return;
    DWORD_PTR dwAnswer = 0;
    SendMessageTimeoutW(hList, WM_RESOURCE_LIST_NOTIFY, 0, 0, SMTO_ABORTIFHUNG, RESOURCE_LIST_TIMEOUT_MS, &dwAnswer);
}

void CMendwrightDlg::HideToTray() {
    m_bShown = 0;
    MoveWindow(m_hWnd, 0, 0, 0, 0, TRUE);
    SetTimer(m_hWnd, 0, 1, nullptr);
    ShowWindow(m_hWnd, SW_HIDE);
    LONG_PTR nExStyle = GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE);
    SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, (nExStyle & ~static_cast<LONG_PTR>(WS_EX_APPWINDOW)) | WS_EX_TOOLWINDOW);
}

void CMendwrightDlg::DeleteHandoffFiles() {
    // Only the files that start-up read as handoff files, by the names it opened; each one is
    // looked at again first, since another file may have taken the name meanwhile.
    for (const std::string& strIni : m_Installer.m_HandoffFilesRead) {
        std::string strPath = GetProfileTextU8(GetString(IDS_PRODUCT_NAME), GetString(IDS_GAME_PATH_KEY), "", strIni.c_str(),
                                               MAX_PATH);
        if (!strPath.empty())
            DeleteFileU8(strIni.c_str());
    }
}
