// The install worker: one thread that removes the old plug-in folders of the game folder and
// copies every file of the package's FileList into it, reporting through the control surface.
#pragma once

#include <windows.h>

#include <atomic>

#include "core/update_semaphore.h"
#include "install/install_plan.h"
#include "install/pack_merge_process.h"

class IKShellCtrl;

// The worker's control block, held by its owner (the main dialog, the console front end) for its
// whole life. m_pShellCtrl is set once by the owner before the first Start and is not owned.
class KInstallWorker {
public:
    KInstallWorker();
    // Stops a worker that still runs (see Stop).
    ~KInstallWorker();
    KInstallWorker(const KInstallWorker&) = delete;
    KInstallWorker& operator=(const KInstallWorker&) = delete;

    // Starts a worker thread running InstallThreadProc on this block. 1 when the thread was
    // created; 0 when it could not be, or when a worker of this block still runs (a second
    // Update press before the first worker has disabled the button starts nothing).
    int Start();

    // Asks a running worker to stop (it stops between files, and inside a copy where the
    // platform reports copy progress), waits for it a bounded time while carrying out the
    // synchronous requests that the worker sends to this thread's windows, and terminates it only
    // when it has not ended by then. Returns 1 once no worker thread is left. A worker that stops
    // on request says so, puts the game folder back (with its line) and ends without OnInstallEnd. Called on the worker thread
    // itself, it only asks the worker to stop.
    int Stop();

    // Takes hold of the "UPDATE" semaphore of pszGamePath (its normal form), and of the installer's
    // own one of the folder's identity, for the next run, so that no other installation, by any
    // front end and under any spelling of the folder, runs into it meanwhile. 0 when
    // another program holds it, or a worker of this block still runs. The run lets go of it when
    // it ends (before OnInstallEnd); ReleaseFolder lets go of it when no run follows.
    int HoldFolder(const char* pszGamePath);
    // Also forgets the plan and ends the child of the first merge (below) when no run took them.
    void ReleaseFolder();
    // True from Start until the worker reaches an end point.
    bool IsRunning() const { return m_hThread && !m_bFinished; }

    // The thread procedure; pParam is the KInstallWorker. Always returns 0.
    static DWORD WINAPI InstallThreadProc(LPVOID pParam);

    // How long Stop waits for a running worker before terminating it.
    // A run that is putting the game folder back by then is given up to RESTORE_WAIT_MS more:
    // cutting it off would leave the process heap locked and the folder for the next start.
    enum { STOP_WAIT_MS = 3000, RESTORE_WAIT_MS = 120000 };

    IKShellCtrl* m_pShellCtrl;
    // The running or last worker thread; null when none.
    HANDLE m_hThread;
    // 1 once the worker has reached an end point (or was terminated by Stop); 0 from Start on.
    std::atomic<int> m_bFinished;
    // Set by Stop; the worker checks it between files and between chunks of a copy.
    std::atomic<int> m_bStopRequested;
    // 1 while the worker puts the game folder back after a failure or stop.
    std::atomic<int> m_bRestoring;
    // The semaphore of the folder being installed into, held from HoldFolder to the run's end.
    KUpdateSemaphore m_FolderSemaphore;
    // The installer's own semaphore of the same folder by its identity (MakeFolderIdentityName).
    KUpdateSemaphore m_IdentitySemaphore;
    // The plan the Update command checked, for the next run (m_bPlanned) into the game folder
    // m_strPlanGame (without a trailing separator) from the package folder m_strPlanPackage: the
    // run does not read the package and the game folder a second time. A run without one, or
    // into other folders, makes its own.
    KInstallPlan m_Plan;
    bool m_bPlanned = false;
    std::string m_strPlanGame, m_strPlanPackage;
    // The child of the run's first merge, started by the Update command as soon as it holds the
    // folder of a package that merges, so that its start overlaps the checks. Its load of
    // Cobblepak.dll is the try of the library before the run's first change. A run finds it
    // started or starts it.
    KPackMergeChild m_FirstMerge;
};
