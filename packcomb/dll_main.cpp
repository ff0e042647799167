// Entry point of Cobblepak.dll. The library keeps no state, so every notification succeeds.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved)
{
    (void)hInstance;
    (void)dwReason;
    (void)pReserved;
    return TRUE;
}
