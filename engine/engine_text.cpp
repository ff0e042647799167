// String helpers, the log and the MD5 text of the engine stand-in.
#include <windows.h>
#include <wincrypt.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "xml/engine_api.h"

int g_StrLen(const char* pszText) {
    return pszText ? static_cast<int>(strlen(pszText)) : 0;
}

int g_StrCpyLen(char* pszDst, const char* pszSrc, int nSize) {
    if (!pszDst || nSize <= 0)
        return 0;
    if (!pszSrc)
        pszSrc = "";
    size_t uLen = strlen(pszSrc);
    if (uLen > static_cast<size_t>(nSize - 1))
        uLen = static_cast<size_t>(nSize - 1);
    memcpy(pszDst, pszSrc, uLen);
    pszDst[uLen] = '\0';
    return static_cast<int>(uLen);
}

int XRLogPrintf(XRLOG_PRIORITY ePriority, const char* pszFormat, ...) {
    if (!pszFormat)
        return 0;
    char szLine[2048];
    va_list args;
    va_start(args, pszFormat);
    int nLen = vsnprintf(szLine, sizeof(szLine), pszFormat, args);
    va_end(args);
    if (nLen < 0)
        return 0;
    std::string strLine(szLine);
    if (strLine.empty() || strLine.back() != '\n')
        strLine += '\n';

    // One line per call: the priority, a tab, then the formatted text.
    std::string strEntry = std::to_string(static_cast<int>(ePriority)) + "\t" + strLine;
    char szLog[MAX_PATH];
    DWORD dwLen = GetEnvironmentVariableA("ENGINE_LOG", szLog, sizeof(szLog));
    if (dwLen == 0 || dwLen >= sizeof(szLog)) {
        OutputDebugStringA(strEntry.c_str());
        return 1;
    }
    FILE* pFile = fopen(szLog, "ab");
    if (!pFile)
        return 0;
    fwrite(strEntry.data(), 1, strEntry.size(), pFile);
    fclose(pFile);
    return 1;
}

int XR_EDStringToMD5String(char* pszDigest, const char* pszText) {
    if (!pszDigest || !pszText)
        return 0;
    int nResult = 0;
    // One provider for the process: acquiring one loads the provider's libraries each time.
    static HCRYPTPROV s_hProv = [] {
        HCRYPTPROV hProv = 0;
        return CryptAcquireContextA(&hProv, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) ? hProv : 0;
    }();
    HCRYPTHASH hHash = 0;
    BYTE digest[16];
    DWORD dwLen = sizeof(digest);
    if (s_hProv && CryptCreateHash(s_hProv, CALG_MD5, 0, 0, &hHash) &&
        CryptHashData(hHash, reinterpret_cast<const BYTE*>(pszText), static_cast<DWORD>(strlen(pszText)), 0) &&
        CryptGetHashParam(hHash, HP_HASHVAL, digest, &dwLen, 0) && dwLen == sizeof(digest)) {
        static const char s_szHex[] = "0123456789abcdef";
        for (int i = 0; i < 16; ++i) {
            pszDigest[2 * i] = s_szHex[digest[i] >> 4];
            pszDigest[2 * i + 1] = s_szHex[digest[i] & 0x0F];
        }
        pszDigest[32] = '\0';
        nResult = 1;
    }
    if (hHash)
        CryptDestroyHash(hHash);
    return nResult;
}
