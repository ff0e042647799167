// Starting a program as the signed-in player. Mendwright runs with administrator rights; a game
// started by it directly would run with them too, and whatever it writes would belong to the
// administrator. The desktop shell (Explorer) runs as the player, so the start is handed to it.
#pragma once

#include <windows.h>

// Opens pszFile ("open", no parameters, shown normally) with pszFolder as its working folder, as
// ShellExecuteA does. The desktop shell's own process opens it when a desktop shell answers;
// otherwise (no shell, as under Wine) this process does, through ShellExecuteA with hWnd as owner.
// Both texts are in the ANSI code page. COM must be initialised on the calling thread for the
// shell to be asked. True when the start was handed on.
bool OpenAsSignedInUser(HWND hWnd, const char* pszFile, const char* pszFolder);
