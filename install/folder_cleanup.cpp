#include "install/folder_cleanup.h"

#include <windows.h>

#include <cstdio>

namespace {

// Composes pszFormat with two texts into a MAX_PATH buffer; 0 when the result would not fit.
int s_ComposePath(char* pszDst, const char* pszFormat, const char* pszFirst, const char* pszSecond) {
    int nLen = std::snprintf(pszDst, MAX_PATH, pszFormat, pszFirst, pszSecond);
    return nLen > 0 && nLen < MAX_PATH;
}

// A folder link (junction, symbolic link): the directory bit together with the reparse bit.
bool s_IsFolderLink(DWORD dwAttributes) {
    return (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Deletes everything below pszPath; results of single deletions are not looked at: the removal
// of the folder itself tells whether everything went.
void s_DeleteContents(const char* pszPath) {
    char szPattern[MAX_PATH];
    if (!s_ComposePath(szPattern, "%s\\%s", pszPath, "*.*"))
        return;
    WIN32_FIND_DATAA findData;
    HANDLE hFind = FindFirstFileA(szPattern, &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        const char* pszName = findData.cFileName;
        if (pszName[0] == '.' && (pszName[1] == '\0' || (pszName[1] == '.' && pszName[2] == '\0')))
            continue;
        char szEntry[MAX_PATH];
        if (!s_ComposePath(szEntry, "%s\\%s", pszPath, pszName))
            continue;  // too long to address: it stays, and so does this folder
        if (s_IsFolderLink(findData.dwFileAttributes))
            RemoveDirectoryA(szEntry);  // the link itself, never what lies behind it
        else if (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            DeleteFolderTree(szEntry);
        else
            DeleteFileA(szEntry);
    } while (FindNextFileA(hFind, &findData));
    FindClose(hFind);
}

}  // namespace

int DeleteFolderTree(const char* pszPath) {
    if (!pszPath || !pszPath[0])
        return 0;
    DWORD dwAttributes = GetFileAttributesA(pszPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || !s_IsFolderLink(dwAttributes))
        s_DeleteContents(pszPath);
    return RemoveDirectoryA(pszPath) ? 1 : 0;
}
