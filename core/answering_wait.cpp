#include "core/answering_wait.h"

namespace {

struct KWork {
    const std::function<int()>* pfnWork;
    int nResult;
};

DWORD WINAPI s_RunWork(LPVOID pParam) {
    KWork* pWork = static_cast<KWork*>(pParam);
    pWork->nResult = (*pWork->pfnWork)();
    return 0;
}

}  // namespace

int RunWhileAnswering(HWND hDialog, const std::function<int()>& fnWork) {
    KWork work = {&fnWork, 0};
    HANDLE hThread = CreateThread(nullptr, 0, s_RunWork, &work, 0, nullptr);
    if (!hThread)
        return fnWork();
    bool bQuit = false;
    int nQuitCode = 0;
    for (;;) {
        // After WM_QUIT nothing more is dispatched; it is posted again for the caller's loop.
        DWORD dwWait = bQuit ? WaitForSingleObject(hThread, INFINITE)
                             : MsgWaitForMultipleObjects(1, &hThread, FALSE, INFINITE, QS_ALLINPUT);
        if (dwWait != WAIT_OBJECT_0 + 1) {
            // Done, or the wait itself failed: either way fnWork's data lives until it returns.
            WaitForSingleObject(hThread, INFINITE);
            break;
        }
        MSG msg;
        while (!bQuit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                bQuit = true;
                nQuitCode = static_cast<int>(msg.wParam);
                break;
            }
            if (hDialog && IsWindow(hDialog) && IsDialogMessageW(hDialog, &msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    CloseHandle(hThread);
    if (bQuit)
        PostQuitMessage(nQuitCode);
    return work.nResult;
}
