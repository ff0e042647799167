#include "core/program_folder.h"

#include <windows.h>

#include <string>

#include "core/text_copy.h"
#include "core/win_text.h"

const char* FindLastSeparator(const char* pszPath) {
    if (!pszPath)
        return nullptr;
    const char* pszLast = nullptr;
    for (const char* p = pszPath; *p; ++p) {
        if (*p == '\\')
            pszLast = p;
    }
    return pszLast;
}

int GetProgramFolder(char* pszFolder, size_t uSize) {
    if (!pszFolder || uSize == 0)
        return 0;
    pszFolder[0] = '\0';
    std::string strModule;
    if (!GetModulePathU8(nullptr, &strModule))
        return 0;
    const char* pszSeparator = FindLastSeparator(strModule.c_str());
    if (!pszSeparator)
        return 0;
    strModule.resize(static_cast<size_t>(pszSeparator - strModule.c_str()));
    if (!CopyTextCut(pszFolder, strModule.c_str(), uSize)) {
        pszFolder[0] = '\0';
        return 0;
    }
    return 1;
}
