// The install worker: one thread that removes the old plug-in folders of the game folder and
// copies every file of the package's FileList into it, reporting through the control surface.
#pragma once

#include <windows.h>

#include <atomic>

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
    // on request ends without OnInstallEnd and without further lines. Called on the worker thread
    // itself, it only asks the worker to stop.
    int Stop();

    // The thread procedure; pParam is the KInstallWorker. Always returns 0.
    static DWORD WINAPI InstallThreadProc(LPVOID pParam);

    // How long Stop waits for a running worker before terminating it.
    enum { STOP_WAIT_MS = 3000 };

    IKShellCtrl* m_pShellCtrl;
    // The running or last worker thread; null when none.
    HANDLE m_hThread;
    // 1 once the worker has reached an end point (or was terminated by Stop); 0 from Start on.
    std::atomic<int> m_bFinished;
    // Set by Stop; the worker checks it between files and in the copy's progress callback.
    std::atomic<int> m_bStopRequested;
};
