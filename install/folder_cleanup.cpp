#include "install/folder_cleanup.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/win_text.h"

namespace {

// pszFolder + "\" + pszName in *pstrPath. Paths past MAX_PATH are fine: the file calls take
// them in their extended-length form.
void s_ComposePath(std::string* pstrPath, const char* pszFolder, const std::string& strName) {
    *pstrPath = std::string(pszFolder) + "\\" + strName;
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
    HANDLE hLink = CreateFileU8(pszPath, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
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
    std::string strPattern;
    s_ComposePath(&strPattern, pszPath, "*.*");
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileU8(strPattern.c_str(), &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        const wchar_t* pwszName = findData.cFileName;
        if (pwszName[0] == L'.' && (pwszName[1] == L'\0' || (pwszName[1] == L'.' && pwszName[2] == L'\0')))
            continue;
        std::string strEntry;
        s_ComposePath(&strEntry, pszPath, WideToUtf8(pwszName));
        const char* szEntry = strEntry.c_str();
        if (s_IsFolderLink(findData.dwFileAttributes))
            s_RemoveFolderLink(szEntry);
        else if (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            DeleteFolderTree(szEntry, bClearReadOnly);
        else {
            if (bClearReadOnly && (findData.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
                SetFileAttributesU8(szEntry, findData.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            DeleteFileU8(szEntry);
        }
    } while (FindNextFileW(hFind, &findData));
    FindClose(hFind);
}

}  // namespace

int DeleteFolderTree(const char* pszPath, int bClearReadOnly) {
    if (!pszPath || !pszPath[0])
        return 0;
    // The path's own attributes are read without its trailing backslash: with one, a link
    // reports the folder it points to.
    std::string strBare = pszPath;
    size_t uLen = strBare.size();
    while (uLen > 1 && (strBare[uLen - 1] == '\\' || strBare[uLen - 1] == '/') && strBare[uLen - 2] != ':')
        strBare.resize(--uLen);
    if (s_IsFolderLink(GetFileAttributesU8(strBare.c_str())))
        return s_RemoveFolderLink(strBare.c_str());
    s_DeleteContents(pszPath, bClearReadOnly);
    return RemoveDirectoryU8(pszPath) ? 1 : 0;
}
