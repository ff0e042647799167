// The application object: starts common controls and OLE and runs the main dialog modally.
#pragma once

#include <windows.h>

class CMendwrightApp {
public:
    // Runs the whole program: the main dialog modally, on the packages named on the command
    // line. Always FALSE: the process ends when the dialog has closed.
    BOOL InitInstance();

    // The process's exit code: 0, or 1 when the dialog could not be shown (the player was told).
    int m_nExitCode = 0;
};

extern CMendwrightApp theApp;
