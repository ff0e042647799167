#include "core/text_copy.h"

#include <cstring>

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
    // Cut before the first byte that does not fit, then back to the start of its character:
    // continuation bytes of UTF-8 are 10xxxxxx.
    size_t uKeep = uSize - 1;
    while (uKeep > 0 && (static_cast<unsigned char>(pszSrc[uKeep]) & 0xC0) == 0x80)
        --uKeep;
    memcpy(pszDst, pszSrc, uKeep);
    pszDst[uKeep] = '\0';
    return 0;
}
