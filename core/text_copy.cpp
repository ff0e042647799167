#include "core/text_copy.h"

#include <cstring>

#include "core/ansi_text.h"

int CopyTextCut(char* pszDst, const char* pszSrc, size_t uSize) {
    if (!pszDst || uSize == 0)
        return 0;
    if (!pszSrc)
        pszSrc = "";
    size_t uLen = strlen(pszSrc);
    if (uLen < uSize) {
        memcpy(pszDst, pszSrc, uLen + 1);
        return 1;
    }
    // Walk whole characters: a character of more than one byte is never cut.
    size_t uKeep = 0;
    while (uKeep < uLen) {
        size_t uChar = NarrowCharLength(pszSrc + uKeep);
        if (uKeep + uChar > uSize - 1)
            break;
        uKeep += uChar;
    }
    memcpy(pszDst, pszSrc, uKeep);
    pszDst[uKeep] = '\0';
    return 0;
}
