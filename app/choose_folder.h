// The system's folder browser.
#pragma once

#include <windows.h>

// Lets the player pick a file-system folder under the desktop, with pszTitle above the tree and
// hOwner as owner. pszPath holds MW_PATH_BYTES bytes. 1 with the chosen folder's path (UTF-8) in pszPath;
// 0 when pszPath is null, the player cancels, or the choice has no file-system path.
int ChooseFolder(const char* pszTitle, char* pszPath, HWND hOwner);
