#include "install/folder_cleanup.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// Composes pszFormat with two texts into a MAX_PATH buffer; 0 when the result would not fit.
int s_ComposePath(char* pszDst, const char* pszFormat, const char* pszFirst, const char* pszSecond) {
    int nLen = std::snprintf(pszDst, MAX_PATH, pszFormat, pszFirst, pszSecond);
    return nLen > 0 && nLen < MAX_PATH;
}

// A folder link (junction, symbolic link): the directory bit together with the reparse bit.
bool s_IsFolderLink(DWORD dwAttributes) {
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Removes the link pszPath itself. Only a handle that names the link (and not the folder behind
// it) is marked for deletion: where the platform cannot open the link itself (Wine follows it
// even then, and would remove an empty target), the link stays and 0 is returned.
int s_RemoveFolderLink(const char* pszPath) {
    HANDLE hLink = CreateFileA(pszPath, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (hLink == INVALID_HANDLE_VALUE)
        return 0;
    BY_HANDLE_FILE_INFORMATION info;
    int bRemoved = GetFileInformationByHandle(hLink, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (bRemoved) {
        FILE_DISPOSITION_INFO disposition = {TRUE};
        bRemoved = SetFileInformationByHandle(hLink, FileDispositionInfo, &disposition, sizeof(disposition)) != 0;
    }
    CloseHandle(hLink);
    return bRemoved;
}

// Deletes everything below pszPath; results of single deletions are not looked at: the removal
// of the folder itself tells whether everything went.
void s_DeleteContents(const char* pszPath, int bClearReadOnly) {
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
            s_RemoveFolderLink(szEntry);
        else if (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            DeleteFolderTree(szEntry, bClearReadOnly);
        else {
            if (bClearReadOnly && (findData.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
                SetFileAttributesA(szEntry, findData.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            DeleteFileA(szEntry);
        }
    } while (FindNextFileA(hFind, &findData));
    FindClose(hFind);
}

}  // namespace

int DeleteFolderTree(const char* pszPath, int bClearReadOnly) {
    if (!pszPath || !pszPath[0])
        return 0;
    // The path's own attributes are read without its trailing backslash: with one, a link
    // reports the folder it points to.
    char szBare[MAX_PATH];
    size_t uLen = std::strlen(pszPath);
    if (uLen >= MAX_PATH)
        return 0;
    std::memcpy(szBare, pszPath, uLen + 1);
    while (uLen > 1 && (szBare[uLen - 1] == '\\' || szBare[uLen - 1] == '/') && szBare[uLen - 2] != ':')
        szBare[--uLen] = '\0';
    if (s_IsFolderLink(GetFileAttributesA(szBare)))
        return s_RemoveFolderLink(szBare);
    s_DeleteContents(pszPath, bClearReadOnly);
    return RemoveDirectoryA(pszPath) ? 1 : 0;
}
