// Names that the system opens as devices rather than files, in any folder.
#pragma once

#include <cstddef>

// 1 when the uLen bytes at pszName name a device: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9,
// LPT1-9, in any letter case, with or without an extension and trailing blanks ("nul.txt").
int IsDeviceName(const char* pszName, size_t uLen);
