#include "app/mendwright_app.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/handoff_args.h"
#include "app/mendwright_dlg.h"
#include "core/library_search.h"
#include "core/string_ids.h"
#include "core/string_table.h"

CMendwrightApp theApp;

BOOL CMendwrightApp::InitInstance() {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = 0xFF;  // list view, tree view, bars, tab, up-down, progress, hot-key, animate
    InitCommonControlsEx(&controls);

    // The banner picture is decoded by OLE.
    if (FAILED(OleInitialize(nullptr))) {
        MessageBoxA(nullptr, "IDP_OLE_INIT_FAILED", "Mendwright", MB_OK);
        return FALSE;
    }
    {
        CMendwrightDlg dlg;
        dlg.GetUpdateInstaller()->m_HandoffList = HandoffListFromCommandLine(GetCommandLineW());
        dlg.DoModal();
    }
    OleUninitialize();
    return FALSE;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything loads a library (core/library_search.h).
    RestrictLibrarySearch();
    if (!LoadEngineLibrary()) {
        MessageBoxA(nullptr, GetString(IDS_ENGINE_MISSING), GetString(IDS_PRODUCT_NAME), MB_OK | MB_ICONERROR);
        return 1;
    }
    theApp.InitInstance();
    return 0;
}
