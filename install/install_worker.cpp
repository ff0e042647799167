#include "install/install_worker.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/shell_ctrl.h"
#include "core/folder_path.h"
#include "core/library_search.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/text_copy.h"
#include "core/update_installer.h"
#include "install/file_copy.h"
#include "install/install_transaction.h"
#include "install/pack_merge_process.h"
#include "install/package_packs.h"
#include "install/version_check.h"
#include "xml/xml_document.h"

namespace {

// A game folder longer than this leaves no room for "\interface2\" within MAX_PATH.
enum { MAX_GAME_PATH = 245 };

struct KPluginFolder {
    const char* pszName;
    const char* pszFailed;
    const char* pszRemoved;
};

const KPluginFolder& s_PluginFolder(int nIndex) {
    // The texts of the plug-in cleanup are not in the catalogue; the source is UTF-8, as the
    // program's text is.
    static const KPluginFolder s_aFolders[2] = {
        {"interface", "清除老插件interface失败！可能有文件被占用，无法删除", "清除老插件interface成功！"},
        {"interface2", "清除老插件interface2失败！可能有文件被占用，无法删除", "清除老插件interface2成功！"},
    };
    return s_aFolders[nIndex];
}

// Waits up to uMs for hThread to end while carrying out the messages that other threads send to
// this thread's windows (the worker's synchronous requests). True when the thread has ended.
bool s_WaitServicingRequests(HANDLE hThread, DWORD uMs) {
    DWORD uStart = GetTickCount();
    for (;;) {
        DWORD uElapsed = GetTickCount() - uStart;
        DWORD uLeft = uMs == INFINITE ? INFINITE : uElapsed < uMs ? uMs - uElapsed : 0;
        DWORD dwWait = MsgWaitForMultipleObjects(1, &hThread, FALSE, uLeft, QS_SENDMESSAGE);
        if (dwWait == WAIT_OBJECT_0)
            return true;
        if (dwWait == WAIT_OBJECT_0 + 1) {
            // Delivers the sent messages only; posted ones stay queued for the owner's loop.
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        if (dwWait == WAIT_FAILED)
            return WaitForSingleObject(hThread, uLeft) == WAIT_OBJECT_0;
        return false;  // timed out
    }
}

// One run of the worker. Returns when it reaches an end point: with OnInstallEnd after a result,
// without it when a stop was requested.
class KInstallRun {
public:
    explicit KInstallRun(KInstallWorker* pWorker) : m_pWorker(pWorker), m_pShellCtrl(pWorker->m_pShellCtrl) {}

    void Run();

private:
    void End(int nResult) {
        m_pWorker->ReleaseFolder();
        m_pShellCtrl->OnInstallEnd(nResult);
        m_pWorker->m_bFinished = 1;
    }
    bool StopRequested() const { return m_pWorker->m_bStopRequested.load() != 0; }
    // Puts the game folder back and says so, after the failure lines.
    void Restore(KInstallTransaction* pTransaction) {
        m_pWorker->m_bRestoring = 1;
        if (pTransaction->Rollback(m_pShellCtrl))
            m_pShellCtrl->AddMessage(GetString(IDS_RESTORED));
    }
    void Fail(KInstallTransaction* pTransaction) {
        Restore(pTransaction);
        End(0);
    }
    void Stopped(KInstallTransaction* pTransaction) {
        m_pShellCtrl->AddMessage(GetString(IDS_INSTALL_STOPPED));
        Restore(pTransaction);
        m_pWorker->ReleaseFolder();
        m_pWorker->m_bFinished = 1;
    }
    // Sets the plug-in folders aside, copies the files, merges the packs and writes the versions;
    // false when the run ended inside.
    bool Install(const KInstallPlan& plan, KInstallTransaction* pTransaction);
    // The line for a write into strFile that ended in nOutcome (a KWriteOutcome): the file in use,
    // the disk full, else the catalogue's line nOtherwise.
    void AddWriteFailureLine(int nOutcome, int nOtherwise, const std::string& strFile);

    KInstallWorker* m_pWorker;
    IKShellCtrl* m_pShellCtrl;
    std::string m_strGamePath;
    std::string m_strPackagePath;
};

void KInstallRun::Run() {
    m_pShellCtrl->OnInstallBegin();
    m_pShellCtrl->AddMessage(GetString(IDS_COPY_START));
    m_pShellCtrl->AddMessage(std::string(48, '-').c_str());

    KUpdateInstaller* pInstaller = m_pShellCtrl->GetUpdateInstaller();
    IKXmlNode* pRoot = pInstaller && pInstaller->m_pXmlDoc ? pInstaller->m_pXmlDoc->GetRootElement("Root") : nullptr;
    if (!pRoot) {
        m_pShellCtrl->ReportError(GetString(IDS_DESCRIPTION_FAULTY));
        End(0);
        return;
    }

    const char* pszGamePath = m_pShellCtrl->GetGamePath();
    const char* pszPackagePath = m_pShellCtrl->GetPackagePath();
    m_strGamePath = pszGamePath ? pszGamePath : "";
    m_strPackagePath = pszPackagePath ? pszPackagePath : "";
    if (m_strGamePath.size() > MAX_GAME_PATH) {
        m_pShellCtrl->AddMessage(GetString(IDS_GAME_PATH_WRONG));
        End(0);
        return;
    }

    // Everything is checked before the first change; the working paths use the folder without a
    // trailing backslash, the lines show it as the player gave it.
    std::string strGame = StripTrailingSeparators(m_strGamePath);
    KInstallPlan plan;
    if (m_pWorker->m_bPlanned && m_pWorker->m_strPlanGame == strGame && m_pWorker->m_strPlanPackage == m_strPackagePath) {
        plan = std::move(m_pWorker->m_Plan);
        m_pWorker->m_bPlanned = false;
    } else if (!MakeInstallPlan(pRoot, strGame, m_strPackagePath, m_pShellCtrl, &plan)) {
        End(0);
        return;
    }
    // Tried before the first change, so that a library that does not load touches nothing: the
    // first merge's child loads it (in a child, since loading runs the library's own code).
    KPackMergeChild& first = m_pWorker->m_FirstMerge;
    if (!plan.aPacks.empty() && ((!first.IsFor(m_strPackagePath) && !first.Start(m_strPackagePath)) ||
                                 first.WaitLoaded(&m_pWorker->m_bStopRequested) != KPACKMERGE_DONE)) {
        m_pShellCtrl->AddMessage(GetString(IDS_COBBLEPAK_FAILED));
        End(0);
        return;
    }
    KInstallTransaction transaction(strGame, plan);
    if (!transaction.Begin()) {
        if (const KPlanFile* pRefused = transaction.RefusedFile()) {
            AddCopyErrorLine(m_pShellCtrl, pRefused->strFilePath.c_str(), pRefused->strFileName.c_str(), ERROR_INVALID_NAME);
        } else {
            char szMessage[1024 * 3];
            std::snprintf(szMessage, sizeof(szMessage), GetString(IDS_WORK_FOLDER_FAILED), static_cast<int>(GetLastError()));
            m_pShellCtrl->AddMessage(szMessage);
        }
        transaction.Rollback(m_pShellCtrl);
        End(0);
        return;
    }
    if (!Install(plan, &transaction))
        return;
    m_pShellCtrl->ShowProgress(0);
    if (!transaction.Commit()) {
        m_pShellCtrl->AddMessage(GetString(IDS_COPY_FAILED));
        Fail(&transaction);
        return;
    }
    if (!plan.aFiles.empty())
        m_pShellCtrl->AddMessage(GetString(IDS_COPY_DONE));
    if (!plan.aPacks.empty() || !plan.aVersions.empty())
        m_pShellCtrl->AddMessage(GetString(IDS_UPDATE_COMPLETE));
    m_pShellCtrl->AddMessage(std::string(54, '-').c_str());
    End(1);
}

bool KInstallRun::Install(const KInstallPlan& plan, KInstallTransaction* pTransaction) {
    for (const std::string& strName : plan.aPluginFolders) {
        const KPluginFolder& folder = s_PluginFolder(strName == "interface" ? 0 : 1);
        if (!pTransaction->SetAsidePluginFolder(folder.pszName)) {
            m_pShellCtrl->AddMessage(folder.pszFailed);
            Fail(pTransaction);
            return false;
        }
        m_pShellCtrl->AddMessage(folder.pszRemoved);
        if (StopRequested()) {
            Stopped(pTransaction);
            return false;
        }
    }
    // What the package removes is set aside before the first file is written; a file the player
    // changed is left where it is.
    for (const std::string& strKept : plan.aKept)
        AddCatalogueLine(m_pShellCtrl, IDS_DELETE_KEPT, strKept.c_str());
    for (size_t i = 0; i < plan.aDeletes.size(); ++i) {
        std::string strShown = plan.aDeletes[i].strPath + (plan.aDeletes[i].bFolder ? "\\" : "");
        if (!pTransaction->SetAsideDeletion(i)) {
            AddCatalogueLine(m_pShellCtrl, IDS_DELETE_FAILED, strShown.c_str());
            Fail(pTransaction);
            return false;
        }
        AddCatalogueLine(m_pShellCtrl, IDS_DELETE_DONE, strShown.c_str());
        if (StopRequested()) {
            Stopped(pTransaction);
            return false;
        }
    }
    for (size_t i = 0; i < plan.aFiles.size(); ++i) {
        if (StopRequested()) {
            Stopped(pTransaction);
            return false;
        }
        const KPlanFile& file = plan.aFiles[i];
        pTransaction->SelectFile(i);
        if (!CopyPackageFile(m_pShellCtrl, m_strGamePath.c_str(), m_strPackagePath.c_str(), file.strFilePath.c_str(),
                             file.strFileName.c_str(), &m_pWorker->m_bStopRequested, pTransaction,
                             file.strSha256.c_str())) {
            DWORD dwError = GetLastError();
            if (StopRequested()) {
                Stopped(pTransaction);
                return false;
            }
            // A full disk has said what helps; another download would not.
            if (WriteOutcomeOfError(dwError) != KWRITE_DISK_FULL)
                m_pShellCtrl->AddMessage(GetString(IDS_RETRY_OR_DOWNLOAD));
            Fail(pTransaction);
            return false;
        }
    }
    if (!plan.aPacks.empty())
        m_pShellCtrl->AddMessage(GetString(IDS_PACKS_MERGING));
    for (size_t i = 0; i < plan.aPacks.size(); ++i) {
        if (StopRequested()) {
            Stopped(pTransaction);
            return false;
        }
        int nMerged = pTransaction->MergePack(i, m_strPackagePath, &m_pWorker->m_bStopRequested, &m_pWorker->m_FirstMerge);
        if (nMerged == KWRITE_STOPPED) {
            Stopped(pTransaction);
            return false;
        }
        if (nMerged != KWRITE_DONE) {
            AddWriteFailureLine(nMerged, IDS_COBBLEPAK_FAILED, StripTrailingSeparators(m_strGamePath) + "\\" + plan.aPacks[i].strTarget);
            Fail(pTransaction);
            return false;
        }
    }
    int nVersions = plan.aVersions.empty() ? static_cast<int>(KWRITE_DONE) : pTransaction->WriteVersions();
    if (nVersions != KWRITE_DONE) {
        AddWriteFailureLine(nVersions, IDS_VERSION_WRITE_FAILED, StripTrailingSeparators(m_strGamePath) + "\\" GAME_VERSION_FILE);
        Fail(pTransaction);
        return false;
    }
    return true;
}

void KInstallRun::AddWriteFailureLine(int nOutcome, int nOtherwise, const std::string& strFile) {
    char szMessage[1024 * 3];
    int nLine = nOutcome == KWRITE_IN_USE ? IDS_FILE_IN_USE : nOutcome == KWRITE_DISK_FULL ? IDS_DISK_FULL : nOtherwise;
    std::snprintf(szMessage, sizeof(szMessage), GetString(nLine), strFile.c_str());
    m_pShellCtrl->AddMessage(szMessage);
}

}  // namespace

KInstallWorker::KInstallWorker() : m_pShellCtrl(nullptr), m_hThread(nullptr), m_bFinished(0), m_bStopRequested(0), m_bRestoring(0) {}

KInstallWorker::~KInstallWorker() {
    Stop();
}

int KInstallWorker::Start() {
    if (m_hThread) {
        if (!m_bFinished)
            return 0;  // a worker of this block still runs
        Stop();        // the last run's thread: let it end and close its handle
    }
    m_bFinished = 0;
    m_bStopRequested = 0;
    m_bRestoring = 0;
    m_hThread = CreateThread(nullptr, 0, InstallThreadProc, this, 0, nullptr);
    return m_hThread ? 1 : 0;
}

int KInstallWorker::Stop() {
    if (!m_hThread)
        return 1;
    // Called from the worker itself (through a report it makes): it cannot wait for itself.
    if (GetThreadId(m_hThread) == GetCurrentThreadId()) {
        m_bStopRequested = 1;
        return 1;
    }
    if (!m_bFinished) {
        m_bStopRequested = 1;
        if (!s_WaitServicingRequests(m_hThread, STOP_WAIT_MS) &&
            !(m_bRestoring && s_WaitServicingRequests(m_hThread, RESTORE_WAIT_MS))) {
            // Last resort: a worker stuck in a single copy (or a request nobody answers).
            TerminateThread(m_hThread, 0);
            m_bFinished = 1;
            ReleaseFolder();
        }
    }
    // A worker past its end point only unwinds; a terminated one ends at once.
    DWORD dwExitCode = 0;
    if (GetExitCodeThread(m_hThread, &dwExitCode) && dwExitCode == STILL_ACTIVE)
        s_WaitServicingRequests(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    return 1;
}

int KInstallWorker::HoldFolder(const char* pszGamePath) {
    if (m_hThread && !m_bFinished)
        return 0;  // the semaphore belongs to the running worker
    ReleaseFolder();
    CopyTextCut(m_FolderSemaphore.m_szName, MakeFolderSemaphoreName("UPDATE", pszGamePath),
                sizeof(m_FolderSemaphore.m_szName));
    if (!m_FolderSemaphore.Acquire(0))
        return 0;
    // The folder itself, under whatever spelling another installer reached it.
    CopyTextCut(m_IdentitySemaphore.m_szName, MakeFolderIdentityName(pszGamePath).c_str(),
                sizeof(m_IdentitySemaphore.m_szName));
    if (m_IdentitySemaphore.m_szName[0] && !m_IdentitySemaphore.Acquire(0)) {
        m_FolderSemaphore.Release();
        return 0;
    }
    return 1;
}

void KInstallWorker::ReleaseFolder() {
    m_FirstMerge.End();
    m_Plan = KInstallPlan();
    m_bPlanned = false;
    m_IdentitySemaphore.Release();
    m_FolderSemaphore.Release();
}

DWORD WINAPI KInstallWorker::InstallThreadProc(LPVOID pParam) {
    KInstallWorker* pWorker = static_cast<KInstallWorker*>(pParam);
    if (!pWorker)
        return 0;
    if (!pWorker->m_pShellCtrl) {
        pWorker->m_bFinished = 1;
        return 0;
    }
    try {
        KInstallRun(pWorker).Run();
    } catch (const KInstallAbandoned&) {
        // The test seam: left as a killed process leaves it.
        pWorker->ReleaseFolder();
        pWorker->m_bFinished = 1;
    } catch (...) {
        // Nothing thrown may end the process: the run counts as failed.
        if (!pWorker->m_bFinished) {
            pWorker->ReleaseFolder();
            pWorker->m_pShellCtrl->OnInstallEnd(0);
            pWorker->m_bFinished = 1;
        }
    }
    return 0;
}
