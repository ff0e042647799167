#include "install/file_copy.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/shell_ctrl.h"
#include "core/device_name.h"
#include "core/folder_exists.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/text_copy.h"

namespace {

// Every user-visible line is formatted into a buffer of this size.
enum { MESSAGE_SIZE = 1024 };

// The most levels below the drive that CreateFolderChain makes.
enum { MAX_FOLDER_LEVELS = 16 };

bool s_IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

// A name made of dots and spaces with at least two dots: ".." itself, and the forms the system
// shortens to it.
bool s_IsParentName(const char* pszBegin, size_t uLen) {
    size_t uDots = 0;
    for (size_t i = 0; i < uLen; ++i) {
        if (pszBegin[i] == '.')
            ++uDots;
        else if (pszBegin[i] != ' ')
            return false;
    }
    return uDots >= 2;
}

// True when pszPart could lead outside the folder it is joined to: a parent-folder component
// (either separator), a colon (drive, stream) or a device name. Double-byte characters of the
// ANSI code page are stepped over whole, so a trail byte is never taken for a separator.
bool s_IsHostilePart(const char* pszPart) {
    const char* pszComponent = pszPart;
    for (const char* p = pszPart;; ++p) {
        if (*p == '\0' || s_IsSeparator(*p)) {
            size_t uLen = static_cast<size_t>(p - pszComponent);
            if (uLen && (s_IsParentName(pszComponent, uLen) || IsDeviceName(pszComponent, uLen)))
                return true;
            if (*p == '\0')
                return false;
            pszComponent = p + 1;
        } else if (*p == ':') {
            return true;
        } else if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') {
            ++p;
        }
    }
}

// The destination folder: game folder + "\" + FilePath, FilePath left out when it is a lone
// "\" or "/".
std::string s_DestFolder(const char* pszGamePath, const char* pszFilePath) {
    std::string strFolder = pszGamePath;
    strFolder += '\\';
    if (!(s_IsSeparator(pszFilePath[0]) && pszFilePath[1] == '\0'))
        strFolder += pszFilePath;
    return strFolder;
}

void s_AddFormatted(IKShellCtrl* pShellCtrl, const char* pszFormat, const char* pszFirst, const char* pszSecond) {
    char szMessage[MESSAGE_SIZE];
    std::snprintf(szMessage, sizeof(szMessage), pszFormat, pszFirst, pszSecond);
    pShellCtrl->AddMessage(szMessage);
}

void s_AddErrorNumber(IKShellCtrl* pShellCtrl, const char* pszFilePath, const char* pszFileName, DWORD dwError) {
    char szMessage[MESSAGE_SIZE];
    std::snprintf(szMessage, sizeof(szMessage), GetString(IDS_COPY_ERR_NUMBER), pszFilePath, pszFileName,
                  static_cast<int>(dwError));
    pShellCtrl->AddMessage(szMessage);
}

// The first two lines of every file: what is copied, and where to.
void s_AddFileLines(IKShellCtrl* pShellCtrl, const char* pszFileName, const std::string& strDestFolder) {
    char szMessage[MESSAGE_SIZE];
    std::snprintf(szMessage, sizeof(szMessage), GetString(IDS_COPY_FILE), pszFileName);
    pShellCtrl->AddMessage(szMessage);
    CopyTextCut(szMessage, strDestFolder.c_str(), sizeof(szMessage));
    pShellCtrl->AddMessage(szMessage);
}

// The first backslash at or after pszFrom, stepping over double-byte characters whole (a GBK trail
// byte may have the value of a backslash); null when there is none.
const char* s_FindBackslash(const char* pszFrom) {
    for (const char* p = pszFrom; *p; ++p) {
        if (*p == '\\')
            return p;
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0')
            ++p;
    }
    return nullptr;
}

DWORD CALLBACK s_CopyProgress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE,
                              HANDLE, LPVOID pData) {
    const std::atomic<int>* pbStop = static_cast<const std::atomic<int>*>(pData);
    return pbStop->load() ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

}  // namespace

int RefusePackageFile(IKShellCtrl* pShellCtrl, const char* pszGamePath, const char* pszFilePath,
                      const char* pszFileName, unsigned long dwError) {
    if (!pShellCtrl)
        return 0;
    s_AddFileLines(pShellCtrl, pszFileName ? pszFileName : "", s_DestFolder(pszGamePath ? pszGamePath : "",
                                                                             pszFilePath ? pszFilePath : ""));
    s_AddErrorNumber(pShellCtrl, pszFilePath ? pszFilePath : "", pszFileName ? pszFileName : "", dwError);
    return 0;
}

int CopyPackageFile(IKShellCtrl* pShellCtrl, const char* pszGamePath, const char* pszPackagePath,
                    const char* pszFilePath, const char* pszFileName, const std::atomic<int>* pbStop) {
    if (!pShellCtrl || !pszGamePath || !pszPackagePath || !pszFilePath || !pszFileName)
        return 0;

    // Refused before anything is created: a name that leads out of the game folder or the
    // package, and paths the ANSI file functions cannot address.
    // The two are also checked joined, as the paths join them: "." and ".\x" make "..\x".
    if (s_IsHostilePart(pszFilePath) || s_IsHostilePart(pszFileName) ||
        s_IsHostilePart((std::string(pszFilePath) + pszFileName).c_str()))
        return RefusePackageFile(pShellCtrl, pszGamePath, pszFilePath, pszFileName, ERROR_INVALID_NAME);
    std::string strDestFolder = s_DestFolder(pszGamePath, pszFilePath);
    std::string strDestFile = strDestFolder + pszFileName;
    std::string strSourceFile = std::string(pszPackagePath) + "\\" + pszFilePath + pszFileName;
    if (strDestFile.size() >= MAX_PATH || strSourceFile.size() >= MAX_PATH)
        return RefusePackageFile(pShellCtrl, pszGamePath, pszFilePath, pszFileName, ERROR_FILENAME_EXCED_RANGE);

    s_AddFileLines(pShellCtrl, pszFileName, strDestFolder);

    if (!FolderExists(strDestFolder.c_str()) && !CreateFolderChain(strDestFolder.c_str())) {
        s_AddFormatted(pShellCtrl, GetString(IDS_COPY_ERR_SUBFOLDER), strDestFolder.c_str(), pszFileName);
        return 0;
    }

    // An existing read-only, hidden or system destination would refuse to be overwritten.
    SetFileAttributesA(strDestFile.c_str(), FILE_ATTRIBUTE_NORMAL);
    BOOL bCopied = CopyFileExA(strSourceFile.c_str(), strDestFile.c_str(), pbStop ? s_CopyProgress : nullptr,
                               const_cast<std::atomic<int>*>(pbStop), nullptr, 0);
    DWORD dwError = bCopied ? ERROR_SUCCESS : GetLastError();

    int nResult = 1;
    if (bCopied) {
        pShellCtrl->AppendMessage(GetString(IDS_COPY_OK_SUFFIX));
    } else if (dwError == ERROR_REQUEST_ABORTED && pbStop && pbStop->load()) {
        return 0;  // stopped on request: the stop itself is the report
    } else {
        nResult = 0;
        switch (dwError) {
        case ERROR_FILE_NOT_FOUND:
            s_AddFormatted(pShellCtrl, "\n%s,\n%s", strSourceFile.c_str(), strDestFile.c_str());
            break;
        case ERROR_ACCESS_DENIED:
            s_AddFormatted(pShellCtrl, GetString(IDS_COPY_ERR_READONLY), pszFilePath, pszFileName);
            break;
        case ERROR_SHARING_VIOLATION:
            s_AddFormatted(pShellCtrl, GetString(IDS_COPY_ERR_IN_USE), pszFilePath, pszFileName);
            break;
        default:
            s_AddErrorNumber(pShellCtrl, pszFilePath, pszFileName, dwError);
            break;
        }
    }
    pShellCtrl->StepProgress();
    return nResult;
}

int CreateFolderChain(const char* pszPath) {
    if (!pszPath)
        return 0;
    const char* pszFirst = s_FindBackslash(pszPath);
    if (!pszFirst || pszFirst == pszPath)
        return 0;
    size_t uLen = std::strlen(pszPath);
    if (uLen >= MAX_PATH)
        return 0;
    char szPrefix[MAX_PATH];
    int nLevel = 0;
    for (const char* pszSlash = s_FindBackslash(pszFirst + 1); pszSlash && nLevel < MAX_FOLDER_LEVELS;
         pszSlash = s_FindBackslash(pszSlash + 1), ++nLevel) {
        size_t uPrefix = static_cast<size_t>(pszSlash - pszPath) + 1;
        std::memcpy(szPrefix, pszPath, uPrefix);
        szPrefix[uPrefix] = '\0';
        if (!FolderExists(szPrefix) && !CreateDirectoryA(szPrefix, nullptr))
            return 0;
    }
    return 1;
}
