#include "core/ansi_text.h"

#include <windows.h>

int GbkFromCodePoint(unsigned long ulCode, std::string* pstrOut) {
    if (ulCode > 0x10FFFF)
        return 0;
    wchar_t awszChar[2];
    int nWide = 1;
    if (ulCode >= 0x10000) {
        awszChar[0] = static_cast<wchar_t>(0xD800 + ((ulCode - 0x10000) >> 10));
        awszChar[1] = static_cast<wchar_t>(0xDC00 + ((ulCode - 0x10000) & 0x3FF));
        nWide = 2;
    } else {
        awszChar[0] = static_cast<wchar_t>(ulCode);
    }
    char szBytes[16];
    BOOL bDefaultUsed = FALSE;
    int nBytes = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, awszChar, nWide, szBytes, sizeof(szBytes), nullptr,
                                     &bDefaultUsed);
    if (nBytes <= 0 || bDefaultUsed)
        return 0;
    pstrOut->assign(szBytes, static_cast<size_t>(nBytes));
    return 1;
}
