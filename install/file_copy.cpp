#include "install/file_copy.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/shell_ctrl.h"
#include "core/folder_exists.h"
#include "core/sha256.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/text_copy.h"
#include "core/win_text.h"
#include "install/write_obstacle.h"

static_assert(PACKAGE_FILE_BAD_NAME == ERROR_INVALID_NAME && PACKAGE_FILE_TOO_LONG == ERROR_FILENAME_EXCED_RANGE &&
                  PACKAGE_FILE_TOO_DEEP == ERROR_PATH_NOT_FOUND && PACKAGE_MAX_PATH == MAX_PATH,
              "the package rules report the system's codes");

namespace {

// Every user-visible line is formatted into a buffer of this size.
enum { MESSAGE_SIZE = 1024 * 3 };

void s_AddFormatted(IKShellCtrl* pShellCtrl, const char* pszFormat, const char* pszFirst, const char* pszSecond) {
    char szMessage[MESSAGE_SIZE];
    std::snprintf(szMessage, sizeof(szMessage), pszFormat, pszFirst, pszSecond);
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

// Closes a file handle on every way out.
class KFileHandle {
public:
    explicit KFileHandle(HANDLE hFile) : m_hFile(hFile) {}
    ~KFileHandle() { Close(); }
    KFileHandle(const KFileHandle&) = delete;
    KFileHandle& operator=(const KFileHandle&) = delete;
    HANDLE Get() const { return m_hFile; }
    bool Valid() const { return m_hFile != INVALID_HANDLE_VALUE; }
    BOOL Close() {
        BOOL bClosed = TRUE;
        if (Valid())
            bClosed = CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
        return bClosed;
    }

private:
    HANDLE m_hFile;
};

// The size of one read and write of a copy: large enough for the disk's speed, small enough that
// a stop request is seen within milliseconds.
const DWORD s_uChunk = 1u << 20;

// Copies the bytes, times and attributes (never read-only) of strSource into a new file strTemp.
// ERROR_SUCCESS, the system's error code, or ERROR_REQUEST_ABORTED when pbStop was set; on any
// failure strTemp is gone. The source's error codes are those of CopyFileA (2 for a missing file).
// pDigest, when given, takes every byte read.
DWORD s_CopyToTemp(const std::string& strSource, const std::string& strTemp, const std::atomic<int>* pbStop,
                   KSha256* pDigest) {
    KFileHandle source(CreateFileU8(strSource.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
    if (!source.Valid())
        return GetLastError();
    // Attributes and times only: the whole BY_HANDLE_FILE_INFORMATION would also ask for the
    // volume's serial number, which Wine fetches from its mount manager for every file.
    FILE_BASIC_INFO info;
    if (!GetFileInformationByHandleEx(source.Get(), FileBasicInfo, &info, sizeof(info)))
        return GetLastError();
    DWORD dwAttributes = info.FileAttributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    KFileHandle temp(CreateFileU8(strTemp.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN | (dwAttributes ? dwAttributes : FILE_ATTRIBUTE_NORMAL)));
    if (!temp.Valid())
        return GetLastError();

    DWORD dwError = ERROR_SUCCESS;
    thread_local std::vector<char> s_Buffer;
    if (s_Buffer.size() < s_uChunk)
        s_Buffer.resize(s_uChunk);
    for (;;) {
        if (pbStop && pbStop->load()) {
            dwError = ERROR_REQUEST_ABORTED;
            break;
        }
        DWORD dwRead = 0;
        if (!ReadFile(source.Get(), s_Buffer.data(), s_uChunk, &dwRead, nullptr)) {
            dwError = GetLastError();
            break;
        }
        if (dwRead == 0)
            break;
        if (pDigest)
            pDigest->Update(s_Buffer.data(), dwRead);
        DWORD dwWritten = 0;
        if (!WriteFile(temp.Get(), s_Buffer.data(), dwRead, &dwWritten, nullptr) || dwWritten != dwRead) {
            dwError = GetLastError();
            if (dwError == ERROR_SUCCESS)
                dwError = ERROR_HANDLE_DISK_FULL;
            break;
        }
    }
    FILETIME ftLastWrite;
    ftLastWrite.dwLowDateTime = static_cast<DWORD>(info.LastWriteTime.QuadPart);
    ftLastWrite.dwHighDateTime = static_cast<DWORD>(info.LastWriteTime.QuadPart >> 32);
    if (dwError == ERROR_SUCCESS && !SetFileTime(temp.Get(), nullptr, nullptr, &ftLastWrite))
        dwError = GetLastError();
    if (!temp.Close() && dwError == ERROR_SUCCESS)
        dwError = GetLastError();
    if (dwError != ERROR_SUCCESS)
        DeleteFileU8(strTemp.c_str());
    return dwError;
}

// Without a transaction: the temporary file lies beside the destination and replaces it.
class KPlaceBeside : public IKFilePlacement {
public:
    std::string TempPath(const std::string& strDestFile) override { return strDestFile + ".mwtmp"; }
    int Place(const std::string& strTemp, const std::string& strDestFile) override {
        // An existing read-only destination would refuse to be replaced.
        SetFileAttributesU8(strDestFile.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (MoveFileExU8(strTemp.c_str(), strDestFile.c_str(), MOVEFILE_REPLACE_EXISTING))
            return 1;
        DWORD dwError = GetLastError();
        DeleteFileU8(strTemp.c_str());
        // A destination that another program holds open is reported as in use, whichever code
        // the replacement failed with.
        if (dwError == ERROR_ACCESS_DENIED) {
            HANDLE hDest = CreateFileU8(strDestFile.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0);
            if (hDest == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION)
                dwError = ERROR_SHARING_VIOLATION;
            else if (hDest != INVALID_HANDLE_VALUE)
                CloseHandle(hDest);
        }
        SetLastError(dwError);
        return 0;
    }
};

}  // namespace

void AddCatalogueLine(IKMsgOutput* pMsgOutput, int nId, const char* pszFirst, const char* pszSecond) {
    if (!pMsgOutput)
        return;
    char szMessage[MESSAGE_SIZE];
    std::snprintf(szMessage, sizeof(szMessage), GetString(nId), pszFirst, pszSecond);
    pMsgOutput->AddMessage(szMessage);
}

void AddCopyErrorLine(IKMsgOutput* pMsgOutput, const char* pszFilePath, const char* pszFileName, unsigned long dwError) {
    char szMessage[MESSAGE_SIZE];
    std::snprintf(szMessage, sizeof(szMessage), GetString(IDS_COPY_ERR_NUMBER), pszFilePath, pszFileName,
                  static_cast<int>(dwError));
    pMsgOutput->AddMessage(szMessage);
}

int RefusePackageFile(IKShellCtrl* pShellCtrl, const char* pszGamePath, const char* pszFilePath,
                      const char* pszFileName, unsigned long dwError) {
    if (!pShellCtrl)
        return 0;
    s_AddFileLines(pShellCtrl, pszFileName ? pszFileName : "", PackageDestFolder(pszGamePath, pszFilePath ? pszFilePath : ""));
    AddCopyErrorLine(pShellCtrl, pszFilePath ? pszFilePath : "", pszFileName ? pszFileName : "", dwError);
    return 0;
}

int CopyPackageFile(IKShellCtrl* pShellCtrl, const char* pszGamePath, const char* pszPackagePath,
                    const char* pszFilePath, const char* pszFileName, const std::atomic<int>* pbStop,
                    IKFilePlacement* pPlacement, const char* pszSha256) {
    if (!pShellCtrl || !pszGamePath || !pszPackagePath || !pszFilePath || !pszFileName)
        return 0;

    // Refused before anything is created: a name that leads out of the game folder or the
    // package, and paths longer than the file functions take.
    DWORD dwRefusal = CheckPackageFile(pszGamePath, pszPackagePath, pszFilePath, pszFileName);
    if (dwRefusal != ERROR_SUCCESS)
        return RefusePackageFile(pShellCtrl, pszGamePath, pszFilePath, pszFileName, dwRefusal);
    std::string strDestFolder = PackageDestFolder(pszGamePath, pszFilePath);
    std::string strDestFile = strDestFolder + pszFileName;
    std::string strSourceFile = std::string(pszPackagePath) + "\\" + pszFilePath + pszFileName;

    s_AddFileLines(pShellCtrl, pszFileName, strDestFolder);

    if (!FolderExists(strDestFolder.c_str()) && !CreateFolderChain(strDestFolder.c_str())) {
        s_AddFormatted(pShellCtrl, GetString(IDS_COPY_ERR_SUBFOLDER), strDestFolder.c_str(), pszFileName);
        return 0;
    }

    KPlaceBeside placeBeside;
    IKFilePlacement* pPlace = pPlacement ? pPlacement : &placeBeside;
    std::string strTemp = pPlace->TempPath(strDestFile);
    std::unique_ptr<KSha256> pDigest(pszSha256 && pszSha256[0] ? new KSha256 : nullptr);
    DWORD dwError = ERROR_SUCCESS;
    if (strTemp.empty()) {
        dwError = GetLastError();
        if (dwError == ERROR_SUCCESS)
            dwError = ERROR_GEN_FAILURE;
    } else {
        dwError = s_CopyToTemp(strSourceFile, strTemp, pbStop, pDigest.get());
    }
    if (dwError == ERROR_SUCCESS && pDigest && pDigest->FinishHex() != pszSha256) {
        // Damaged in the package: the copy fails here, and nothing of it is put in place.
        DeleteFileU8(strTemp.c_str());
        s_AddFormatted(pShellCtrl, GetString(IDS_COPY_ERR_DIGEST), pszFilePath, pszFileName);
        pShellCtrl->StepProgress();
        return 0;
    }
    if (dwError == ERROR_SUCCESS && !pPlace->Place(strTemp, strDestFile)) {
        dwError = GetLastError();
        if (dwError == ERROR_SUCCESS)
            dwError = ERROR_GEN_FAILURE;
    }

    int nResult = 1;
    if (dwError == ERROR_SUCCESS) {
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
            s_AddFormatted(pShellCtrl, GetString(FolderExists(strDestFile.c_str()) ? IDS_COPY_ERR_FOLDER : IDS_COPY_ERR_READONLY),
                           pszFilePath, pszFileName);
            break;
        case ERROR_SHARING_VIOLATION:
            s_AddFormatted(pShellCtrl, GetString(IDS_COPY_ERR_IN_USE), pszFilePath, pszFileName);
            break;
        default:
            // A full disk is told as such, with the file it stopped at: freeing space is what
            // helps, which an error number does not tell the player.
            if (WriteOutcomeOfError(dwError) == KWRITE_DISK_FULL)
                s_AddFormatted(pShellCtrl, GetString(IDS_DISK_FULL), strDestFile.c_str(), "");
            else
                AddCopyErrorLine(pShellCtrl, pszFilePath, pszFileName, dwError);
            break;
        }
    }
    pShellCtrl->StepProgress();
    SetLastError(dwError);
    return nResult;
}

int CreateFolderChain(const char* pszPath) {
    if (!pszPath)
        return 0;
    std::vector<std::string> chain = FolderChain(pszPath);
    // FolderChain is empty for a path without a usable first backslash, and for one that is
    // only a drive ("C:\") with nothing to make.
    if (chain.empty() && (!FitsMaxPath(pszPath) || pszPath[0] == '\\' || !std::strchr(pszPath, '\\')))
        return 0;
    for (const std::string& strPrefix : chain) {
        if (!FolderExists(strPrefix.c_str()) && !CreateDirectoryU8(strPrefix.c_str()))
            return 0;
    }
    return 1;
}
