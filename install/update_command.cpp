#include "install/update_command.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/shell_ctrl.h"
#include "core/folder_exists.h"
#include "core/folder_path.h"
#include "core/text_copy.h"
#include "core/update_semaphore.h"
#include "core/win_text.h"
#include "install/install_transaction.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "install/install_worker.h"
#include "install/package_versions.h"
#include "install/version_check.h"
#include "install/write_obstacle.h"
#include "xml/xml_document.h"

namespace {

// The game's launcher stands in a game folder; any other folder is not one.
bool s_HoldsLauncher(const char* pszGamePath) {
    std::string strLauncher = StripTrailingSeparators(pszGamePath) + "\\" + GetString(IDS_LAUNCHER_NAME);
    DWORD dwAttributes = GetFileAttributesU8(strLauncher.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// What to tell when the start-up folder or pszGamePath (when given) is in use: the game running
// (a "CLIENT" semaphore) comes first; else another installation holds it.
int s_RunningTextId(KUpdateInstaller* pInstaller, const char* pszGamePath) {
    bool bGame = IsSemaphoreExist(MakeSemaphoreName("CLIENT", pInstaller->m_strGamePath.c_str())) ||
                 (pszGamePath && IsFolderHeldBy("CLIENT", pszGamePath));
    return bGame ? IDS_GAME_RUNNING : IDS_UPDATE_RUNNING;
}

int s_Refuse(IKShellCtrl* pShellCtrl, int nLine, int nOutcome) {
    if (nLine)
        pShellCtrl->AddMessage(GetString(nLine));
    pShellCtrl->OnInstallEnd(0);
    return nOutcome;
}

// The package's versions against the game's: KUPDATE_STARTED when it fits (or the player wants
// the same version again), else the refusal's outcome after its line or question.
int s_CheckVersions(IKShellCtrl* pShellCtrl, IKUpdateFrontEnd* pFrontEnd, KUpdateInstaller* pInstaller,
                    const char* pszGamePath) {
    std::vector<KPackageVersion> aVersions;
    std::string strFault;
    if (!ReadPackageVersions(pInstaller->m_pXmlDoc->GetRootElement("Root"), &aVersions, &strFault)) {
        pShellCtrl->AddMessage(GetString(IDS_DESCRIPTION_FAULTY));
        return KUPDATE_DESCRIPTION_FAULTY;
    }
    // Held by another program, the file could be read as missing and could not be written.
    std::string strVersionFile = StripTrailingSeparators(pszGamePath) + "\\" GAME_VERSION_FILE;
    if (!aVersions.empty() && FileInUse(strVersionFile)) {
        char szMessage[1024 * 3];
        std::snprintf(szMessage, sizeof(szMessage), GetString(IDS_FILE_IN_USE), strVersionFile.c_str());
        pShellCtrl->AddMessage(szMessage);
        return KUPDATE_FILE_IN_USE;
    }
    // In document order, the first refusal wins; the player is asked about reinstalling once.
    bool bAsked = false;
    for (int nVerdict : JudgeGameVersions(StripTrailingSeparators(pszGamePath), aVersions)) {
        if (nVerdict == KVERSION_FITS)
            continue;
        if (nVerdict == KVERSION_SAME) {
            if (!bAsked && !pFrontEnd->ConfirmReinstall())
                return KUPDATE_VERSION_REFUSED;
            bAsked = true;
            continue;
        }
        if (nVerdict == KVERSION_GAME_TOO_OLD)
            pFrontEnd->OfferGameUpdater();
        else
            pShellCtrl->AddMessage(GetString(VersionVerdictText(nVerdict)));
        return KUPDATE_VERSION_REFUSED;
    }
    return KUPDATE_STARTED;
}

}  // namespace

int RunUpdateCommand(IKShellCtrl* pShellCtrl, IKUpdateFrontEnd* pFrontEnd, KInstallWorker* pWorker) {
    KUpdateInstaller* pInstaller = pShellCtrl->GetUpdateInstaller();
    if (!pInstaller)
        return s_Refuse(pShellCtrl, 0, KUPDATE_NO_INSTALLER);
    if (!pInstaller->IsDescriptionUsable())
        return s_Refuse(pShellCtrl, IDS_DESCRIPTION_FAULTY, KUPDATE_DESCRIPTION_FAULTY);
    if (pInstaller->IsGameRunning()) {
        pFrontEnd->ShowGameRunning(s_RunningTextId(pInstaller, nullptr));
        return s_Refuse(pShellCtrl, 0, KUPDATE_GAME_RUNNING);
    }
    pFrontEnd->TakeGamePath();
    const char* pszGamePath = pShellCtrl->GetGamePath();
    if (!pszGamePath || !pszGamePath[0] || !FolderExists(pszGamePath) || !s_HoldsLauncher(pszGamePath))
        return s_Refuse(pShellCtrl, IDS_GAME_PATH_WRONG, KUPDATE_FOLDER_WRONG);
    const char* pszPackagePath = pShellCtrl->GetPackagePath();
    if (pszPackagePath && IsSameOrInsideFolder(pszPackagePath, pszGamePath))
        return s_Refuse(pShellCtrl, IDS_PACKAGE_IN_GAME, KUPDATE_PACKAGE_IN_GAME);
    if (pWorker->IsRunning())
        return KUPDATE_START_FAILED;  // a second press before the first worker disabled Update
    if (IsFolderInUse(pszGamePath) || !pWorker->HoldFolder(pszGamePath)) {
        pFrontEnd->ShowGameRunning(s_RunningTextId(pInstaller, pszGamePath));
        return s_Refuse(pShellCtrl, 0, KUPDATE_GAME_RUNNING);
    }
    IKXmlNode* pRoot = pInstaller->m_pXmlDoc->GetRootElement("Root");
    if (pszPackagePath && ListsPacks(pRoot))
        pWorker->m_FirstMerge.Start(pszPackagePath);  // waited for by the run
    int nRecovery = RecoverInterruptedInstall(pszGamePath, pShellCtrl);
    if (nRecovery == KRECOVERY_BUSY) {
        pWorker->ReleaseFolder();
        pFrontEnd->ShowGameRunning(IDS_UPDATE_RUNNING);
        return s_Refuse(pShellCtrl, 0, KUPDATE_GAME_RUNNING);
    }
    if (nRecovery == KRECOVERY_FAILED) {
        pWorker->ReleaseFolder();
        return s_Refuse(pShellCtrl, 0, KUPDATE_RECOVERY_FAILED);
    }
    int nVersions = s_CheckVersions(pShellCtrl, pFrontEnd, pInstaller, pszGamePath);
    if (nVersions != KUPDATE_STARTED) {
        pWorker->ReleaseFolder();
        return s_Refuse(pShellCtrl, 0, nVersions);
    }
    // Whatever the plan would refuse is refused here, before the resource check makes its folder
    // in the game folder; the run takes this plan (whatever changes after it meets the
    // transaction's own checks, and a rollback).
    KInstallPlan& plan = pWorker->m_Plan;
    if (pszPackagePath && !ListsNothingToInstall(pRoot)) {
        if (!MakeInstallPlan(pRoot, StripTrailingSeparators(pszGamePath), pszPackagePath, pShellCtrl, &plan)) {
            pWorker->ReleaseFolder();
            return s_Refuse(pShellCtrl, 0, KUPDATE_PLAN_REFUSED);
        }
        pWorker->m_bPlanned = true;
        pWorker->m_strPlanGame = StripTrailingSeparators(pszGamePath);
        pWorker->m_strPlanPackage = pszPackagePath;
    }
    if (pInstaller->CheckResources(pszGamePath) != 0) {
        pWorker->ReleaseFolder();
        return s_Refuse(pShellCtrl, 0, KUPDATE_RESOURCES_REFUSED);
    }
    pShellCtrl->ShowProgress(1);
    if (!pWorker->Start()) {
        pWorker->ReleaseFolder();
        return KUPDATE_START_FAILED;
    }
    return KUPDATE_STARTED;
}

void RecoverAtStartUp(const char* pszGamePath, IKMsgOutput* pMsgOutput) {
    if (!pszGamePath || !pszGamePath[0] || !FolderExists(pszGamePath) || IsFolderInUse(pszGamePath))
        return;  // an installation running there owns its working folder
    KUpdateSemaphore semaphore;
    CopyTextCut(semaphore.m_szName, MakeFolderSemaphoreName("UPDATE", pszGamePath), sizeof(semaphore.m_szName));
    if (semaphore.Acquire(0))
        RecoverInterruptedInstall(pszGamePath, pMsgOutput);
}
