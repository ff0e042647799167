#include "core/folder_exists.h"

#include <windows.h>

int FolderExists(const char* pszPath) {
    if (!pszPath || !pszPath[0])
        return 0;
    DWORD dwAttributes = GetFileAttributesA(pszPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}
