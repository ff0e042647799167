#include "core/update_semaphore.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/folder_path.h"

#include "core/text_copy.h"
#include "core/update_installer.h"
#include "core/win_text.h"
#include "xml/engine_api.h"

namespace {

const size_t s_uNameSize = 128;
const size_t s_uPrefixSize = 64;
const size_t s_uDigestSize = 64;

// "Global\" + pszName in pszFull (MAX_PATH bytes); 0 when it does not fit, so that a cut name
// never stands for another object.
int s_FormatGlobalName(char* pszFull, const char* pszName) {
    int nLen = snprintf(pszFull, MAX_PATH, "Global\\%s", pszName ? pszName : "");
    return nLen >= 0 && nLen < MAX_PATH;
}

}  // namespace

const char* MakeSemaphoreName(const char* pszPrefix, const char* pszPath) {
    static char s_szName[s_uNameSize];
    // At most 63 characters of the prefix, so that prefix and digest always fit the name.
    CopyTextCut(s_szName, pszPrefix, s_uPrefixSize);

    wchar_t wszFolder[MAX_PATH] = {0};
    if (pszPath) {
        std::wstring wstrPath = Utf8ToWide(pszPath);
        wcsncpy(wszFolder, wstrPath.c_str(), MAX_PATH - 1);
    } else {
        GetModuleFileNameW(nullptr, wszFolder, MAX_PATH);
    }
    wszFolder[MAX_PATH - 1] = L'\0';
    PathRemoveFileSpecW(wszFolder);
    // The game's programs are ANSI programs: they digest the folder as the system's ANSI code page
    // writes it, where a character the code page lacks has become its default character.
    std::string strFolder = Utf8ToCodePage(CP_ACP, WideToUtf8(wszFolder));

    char szDigest[s_uDigestSize] = {0};
    if (XR_EDStringToMD5String(szDigest, strFolder.c_str()) == 1) {
        szDigest[sizeof(szDigest) - 1] = '\0';
        size_t uLen = strlen(s_szName);
        CopyTextCut(s_szName + uLen, szDigest, sizeof(s_szName) - uLen);
    }
    return s_szName;
}

const char* MakeFolderSemaphoreName(const char* pszPrefix, const char* pszFolder) {
    // The name rule drops the last component: a trailing backslash makes it the folder itself.
    std::string strFolder = NormalFolderPath(pszFolder);
    if (!strFolder.empty() && strFolder.back() != '\\')
        strFolder += '\\';
    return MakeSemaphoreName(pszPrefix, strFolder.c_str());
}

std::string MakeFolderIdentityName(const char* pszFolder) {
    HANDLE hFolder = CreateFileU8(pszFolder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (hFolder == INVALID_HANDLE_VALUE)
        return std::string();
    BY_HANDLE_FILE_INFORMATION info;
    BOOL bOk = GetFileInformationByHandle(hFolder, &info);
    CloseHandle(hFolder);
    if (!bOk || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::string();
    // The volume's serial number is left out: Wine gives one folder reached through two drive
    // letters two serials.
    char szName[s_uNameSize];
    std::snprintf(szName, sizeof(szName), "MendwrightFolder%08lX%08lX-%08lX%08lX",
                  static_cast<unsigned long>(info.nFileIndexHigh), static_cast<unsigned long>(info.nFileIndexLow),
                  static_cast<unsigned long>(info.ftCreationTime.dwHighDateTime),
                  static_cast<unsigned long>(info.ftCreationTime.dwLowDateTime));
    return szName;
}

int IsFolderHeldBy(const char* pszPrefix, const char* pszFolder) {
    std::string strAsWritten = StripTrailingSeparators(pszFolder ? pszFolder : "") + "\\";
    return IsSemaphoreExist(MakeFolderSemaphoreName(pszPrefix, pszFolder)) ||
           IsSemaphoreExist(MakeSemaphoreName(pszPrefix, strAsWritten.c_str()));
}

int IsFolderInUse(const char* pszFolder) {
    return IsFolderHeldBy("UPDATE", pszFolder) || IsFolderHeldBy("CLIENT", pszFolder);
}

int IsSemaphoreExist(const char* pszName) {
    char szFull[MAX_PATH];
    if (!s_FormatGlobalName(szFull, pszName))
        return 0;
    HANDLE hSemaphore = OpenSemaphoreW(SEMAPHORE_ALL_ACCESS, FALSE, Utf8ToWide(szFull).c_str());
    if (!hSemaphore)
        return 0;
    CloseHandle(hSemaphore);
    return 1;
}

int KUpdateInstaller::IsGameRunning() {
    if (IsSemaphoreExist(MakeSemaphoreName("UPDATE", m_strGamePath.c_str())))
        return 1;
    return IsSemaphoreExist(MakeSemaphoreName("CLIENT", m_strGamePath.c_str()));
}

KUpdateSemaphore::KUpdateSemaphore() : m_hSemaphore(nullptr) {
    m_szName[0] = '\0';
}

KUpdateSemaphore::~KUpdateSemaphore() {
    Release();
}

int KUpdateSemaphore::Acquire(int bKeepExisting) {
    if (m_hSemaphore)
        return 0;
    char szFull[MAX_PATH];
    if (!memchr(m_szName, '\0', sizeof(m_szName)) || !s_FormatGlobalName(szFull, m_szName))
        return 0;
    std::wstring wstrFull = Utf8ToWide(szFull);
    HANDLE hSemaphore = OpenSemaphoreW(SEMAPHORE_ALL_ACCESS, FALSE, wstrFull.c_str());
    if (!hSemaphore) {
        hSemaphore = CreateSemaphoreW(nullptr, 1, 1, wstrFull.c_str());
        if (!hSemaphore)
            return 0;
        // Another program may have created it between the two calls; then it is theirs.
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            m_hSemaphore = hSemaphore;
            return 1;
        }
    }
    if (bKeepExisting) {
        m_hSemaphore = hSemaphore;
        return 1;
    }
    CloseHandle(hSemaphore);
    return 0;
}

void KUpdateSemaphore::Release() {
    if (m_hSemaphore) {
        CloseHandle(static_cast<HANDLE>(m_hSemaphore));
        m_hSemaphore = nullptr;
    }
}
