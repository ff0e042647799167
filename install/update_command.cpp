#include "install/update_command.h"

#include "app/shell_ctrl.h"
#include "core/folder_exists.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "install/install_worker.h"

int RunUpdateCommand(IKShellCtrl* pShellCtrl, IKUpdateFrontEnd* pFrontEnd, KInstallWorker* pWorker) {
    KUpdateInstaller* pInstaller = pShellCtrl->GetUpdateInstaller();
    if (!pInstaller) {
        pShellCtrl->OnInstallEnd(0);
        return KUPDATE_NO_INSTALLER;
    }
    if (pInstaller->IsGameRunning()) {
        pFrontEnd->ShowGameRunning();
        pShellCtrl->OnInstallEnd(0);
        return KUPDATE_GAME_RUNNING;
    }
    pFrontEnd->TakeGamePath();
    const char* pszGamePath = pShellCtrl->GetGamePath();
    if (!pszGamePath || !pszGamePath[0] || !FolderExists(pszGamePath)) {
        pShellCtrl->AddMessage(GetString(IDS_GAME_PATH_WRONG));
        pShellCtrl->OnInstallEnd(0);
        return KUPDATE_FOLDER_WRONG;
    }
    if (pInstaller->CheckResources(pszGamePath) != 0) {
        pShellCtrl->OnInstallEnd(0);
        return KUPDATE_RESOURCES_REFUSED;
    }
    pShellCtrl->ShowProgress(1);
    return pWorker->Start() ? KUPDATE_STARTED : KUPDATE_START_FAILED;
}
