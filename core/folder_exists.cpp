#include "core/folder_exists.h"

#include <windows.h>

#include "core/win_text.h"

int FolderExists(const char* pszPath) {
    if (!pszPath || !pszPath[0])
        return 0;
    DWORD dwAttributes = GetFileAttributesU8(pszPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

int PlainFileExists(const char* pszPath) {
    if (!pszPath || !pszPath[0])
        return 0;
    DWORD dwAttributes = GetFileAttributesU8(pszPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}
