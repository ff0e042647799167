#include "app/mendwright_app.h"

#include <commctrl.h>
#include <ole2.h>

#include <cstdio>

#include "app/handoff_args.h"
#include "app/mendwright_dlg.h"
#include "core/library_search.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/win_text.h"
#include "install/pack_merge_process.h"

CMendwrightApp theApp;

BOOL CMendwrightApp::InitInstance() {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = 0xFF;  // list view, tree view, bars, tab, up-down, progress, hot-key, animate
    InitCommonControlsEx(&controls);

    // The banner picture is decoded by OLE.
    if (FAILED(OleInitialize(nullptr))) {
        MessageBoxW(nullptr, L"IDP_OLE_INIT_FAILED", L"Mendwright", MB_OK);
        return FALSE;
    }
    {
        CMendwrightDlg dlg;
        dlg.GetUpdateInstaller()->m_HandoffList = HandoffListFromCommandLine(GetCommandLineW());
        if (dlg.DoModal() == -1) {
            // No window could be made: without a word the player would see nothing happen.
            DWORD dwError = GetLastError();
            char szText[512];
            snprintf(szText, sizeof(szText), GetString(IDS_DIALOG_FAILED), static_cast<int>(dwError));
            OutputDebugStringW(Utf8ToWide(szText).c_str());
            MessageBoxW(nullptr, Utf8ToWide(szText).c_str(), Utf8ToWide(GetString(IDS_PRODUCT_NAME)).c_str(), MB_OK | MB_ICONERROR);
            m_nExitCode = 1;
        }
    }
    OleUninitialize();
    return FALSE;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Started by an installation for one of its merges: the child restricts its own search.
    int nMergeExit = RunPackMergeChild();
    if (nMergeExit >= 0)
        return nMergeExit;
    RestrictLibrarySearch();  // before anything loads a library (core/library_search.h)
    if (!LoadEngineLibrary()) {
        MessageBoxW(nullptr, Utf8ToWide(GetString(IDS_ENGINE_MISSING)).c_str(), Utf8ToWide(GetString(IDS_PRODUCT_NAME)).c_str(),
                    MB_OK | MB_ICONERROR);
        return 1;
    }
    theApp.InitInstance();
    return theApp.m_nExitCode;
}
