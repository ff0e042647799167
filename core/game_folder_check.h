// Which folders can be a game folder to install into.
#pragma once

// 1 when pszPath names an existing folder given as an absolute path (a drive letter with a
// separator, or \\server\share\...) that is neither a drive root nor the root of a network share;
// 0 otherwise: null or empty, relative, device paths (\\?\, \\.\), roots, or no such folder.
int CanHoldGame(const char* pszPath);
