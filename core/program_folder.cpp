#include "core/program_folder.h"

#include <windows.h>

#include "core/text_copy.h"

const char* FindLastSeparator(const char* pszPath) {
    if (!pszPath)
        return nullptr;
    const char* pszLast = nullptr;
    for (const char* p = pszPath; *p; ++p) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0')
            ++p;
        else if (*p == '\\')
            pszLast = p;
    }
    return pszLast;
}

int GetProgramFolder(char* pszFolder, size_t uSize) {
    if (!pszFolder || uSize == 0)
        return 0;
    pszFolder[0] = '\0';
    char szModule[MAX_PATH] = {0};
    DWORD dwLen = GetModuleFileNameA(nullptr, szModule, sizeof(szModule));
    // A path cut short by the buffer would name some other folder.
    if (dwLen == 0 || dwLen >= sizeof(szModule))
        return 0;
    const char* pszSeparator = FindLastSeparator(szModule);
    if (!pszSeparator)
        return 0;
    szModule[pszSeparator - szModule] = '\0';
    if (!CopyTextCut(pszFolder, szModule, uSize)) {
        pszFolder[0] = '\0';
        return 0;
    }
    return 1;
}
