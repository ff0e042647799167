#include "pack/pack_platform.h"

#include <windows.h>

#include <vector>

#include "core/sha256.h"
#include "core/win_text.h"

namespace {

std::wstring s_Wide(UINT uCodePage, const std::string& strText, DWORD dwFlags = 0) {
    if (strText.empty())
        return std::wstring();
    int nWide = MultiByteToWideChar(uCodePage, dwFlags, strText.data(), static_cast<int>(strText.size()), nullptr, 0);
    if (nWide <= 0)
        return std::wstring();
    std::wstring wstrText(static_cast<size_t>(nWide), L'\0');
    MultiByteToWideChar(uCodePage, dwFlags, strText.data(), static_cast<int>(strText.size()), &wstrText[0], nWide);
    return wstrText;
}

std::string s_Narrow(UINT uCodePage, const std::wstring& wstrText, bool* pbLost = nullptr) {
    if (pbLost)
        *pbLost = false;
    if (wstrText.empty())
        return std::string();
    BOOL bDefaultUsed = FALSE;
    // Code page 65001 takes neither the no-best-fit flag nor the default-used question.
    bool bUtf8 = uCodePage == CP_UTF8;
    int nLen = WideCharToMultiByte(uCodePage, bUtf8 ? 0 : WC_NO_BEST_FIT_CHARS, wstrText.data(),
                                   static_cast<int>(wstrText.size()), nullptr, 0, nullptr, bUtf8 ? nullptr : &bDefaultUsed);
    std::string strText(static_cast<size_t>(nLen > 0 ? nLen : 0), '\0');
    if (nLen > 0)
        WideCharToMultiByte(uCodePage, bUtf8 ? 0 : WC_NO_BEST_FIT_CHARS, wstrText.data(),
                            static_cast<int>(wstrText.size()), &strText[0], nLen, nullptr, bUtf8 ? nullptr : &bDefaultUsed);
    if (pbLost)
        *pbLost = nLen <= 0 || bDefaultUsed;
    return strText;
}

std::wstring s_WidePath(const std::string& strUtf8) {
    return s_Wide(CP_UTF8, strUtf8);
}

bool s_List(const std::wstring& wstrDir, std::vector<std::string>& aPrefix, std::vector<KTreeEntry>* pEntries,
            std::string* pstrError, bool bFolders) {
    WIN32_FIND_DATAW data;
    HANDLE hFind = FindFirstFileW((wstrDir + L"\\*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE) {
        *pstrError = s_Narrow(CP_UTF8, wstrDir) + ": cannot be read (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    bool bOk = true;
    do {
        std::wstring wstrName = data.cFileName;
        if (wstrName == L"." || wstrName == L"..")
            continue;
        aPrefix.push_back(s_Narrow(CP_UTF8, wstrName));
        bool bLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !bLink) {
            if (bFolders)
                pEntries->push_back(KTreeEntry{aPrefix, false, true});
            bOk = s_List(wstrDir + L"\\" + wstrName, aPrefix, pEntries, pstrError, bFolders);
        } else {
            pEntries->push_back(KTreeEntry{aPrefix, !bLink && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)});
        }
        aPrefix.pop_back();
    } while (bOk && FindNextFileW(hFind, &data));
    FindClose(hFind);
    return bOk;
}

// Closes a file handle on every way out.
struct KHandle {
    HANDLE h;
    ~KHandle() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

}  // namespace

bool ListPackageTree(const std::string& strDir, std::vector<KTreeEntry>* pEntries, std::string* pstrError,
                     bool bFolders) {
    std::vector<std::string> aPrefix;
    return s_List(s_WidePath(strDir), aPrefix, pEntries, pstrError, bFolders);
}

std::string PackageEntryPath(const std::string& strDir, const std::vector<std::string>& aParts) {
    std::string strPath = strDir;
    for (const std::string& strPart : aParts)
        strPath += "\\" + strPart;
    return strPath;
}

std::string NarrowFilePath(const std::string& strPath) {
    return SystemAnsiPath(strPath);
}

bool FileDigestHex(const std::string& strPath, std::string* pstrHex) {
    KHandle file{CreateFileW(s_WidePath(strPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE)
        return false;
    KSha256 digest;
    // One buffer for every file: allocating and clearing a fresh one per file cost more than
    // hashing a small file.
    thread_local std::vector<char> buffer(1u << 20);
    DWORD dwRead = 0;
    for (;;) {
        if (!ReadFile(file.h, buffer.data(), static_cast<DWORD>(buffer.size()), &dwRead, nullptr))
            return false;
        if (dwRead == 0)
            break;
        digest.Update(buffer.data(), dwRead);
    }
    *pstrHex = digest.FinishHex();
    return !pstrHex->empty();
}

std::FILE* OpenFileStream(const std::string& strPath, const char* pszMode) {
    return _wfopen(s_WidePath(strPath).c_str(), s_Wide(CP_UTF8, pszMode).c_str());
}

bool IsFolderPath(const std::string& strPath) {
    DWORD dwAttributes = GetFileAttributesW(s_WidePath(strPath).c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool MakeFolders(const std::string& strPath) {
    if (IsFolderPath(strPath))
        return true;
    size_t uSlash = strPath.find_last_of("\\/");
    // A drive's root ("C:\\") or a share is there or not: nothing to make above it.
    if (uSlash != std::string::npos && uSlash > 0 && strPath[uSlash - 1] != ':' &&
        !MakeFolders(strPath.substr(0, uSlash)))
        return false;
    return CreateDirectoryW(s_WidePath(strPath).c_str(), nullptr) || IsFolderPath(strPath);
}

bool RemovePath(const std::string& strPath, bool bFolder) {
    std::wstring wstrPath = s_WidePath(strPath);
    return bFolder ? RemoveDirectoryW(wstrPath.c_str()) != 0 : DeleteFileW(wstrPath.c_str()) != 0;
}

std::string AbsolutePath(const std::string& strPath) {
    std::wstring wstrPath = s_WidePath(strPath);
    DWORD dwLen = GetFullPathNameW(wstrPath.c_str(), 0, nullptr, nullptr);
    if (dwLen == 0)
        return std::string();
    std::wstring wstrFull(dwLen, L'\0');
    dwLen = GetFullPathNameW(wstrPath.c_str(), dwLen, &wstrFull[0], nullptr);
    wstrFull.resize(dwLen);
    while (wstrFull.size() > 3 && (wstrFull.back() == L'\\' || wstrFull.back() == L'/'))
        wstrFull.pop_back();
    return s_Narrow(CP_UTF8, wstrFull);
}

bool OutputIsTerminal() {
    DWORD dwMode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &dwMode) != 0;
}

void WriteProgress(const std::string& strUtf8) {
    // A console line keeps what a longer line left: blanks cover it.
    static size_t s_uShown = 0;
    std::wstring wstrLine = s_Wide(CP_UTF8, strUtf8);
    size_t uLength = wstrLine.size();
    if (uLength < s_uShown)
        wstrLine.append(s_uShown - uLength, L' ');
    wstrLine = L"\r" + wstrLine + (uLength < s_uShown ? L"\r" + wstrLine.substr(0, uLength) : std::wstring());
    s_uShown = uLength;
    DWORD dwWritten = 0;
    WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), wstrLine.data(), static_cast<DWORD>(wstrLine.size()), &dwWritten,
                  nullptr);
}

bool ReadWholeFile(const std::string& strPath, std::string* pstrBytes) {
    KHandle file{CreateFileW(s_WidePath(strPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr)};
    if (file.h == INVALID_HANDLE_VALUE)
        return false;
    pstrBytes->clear();
    char szChunk[65536];
    DWORD dwRead = 0;
    for (;;) {
        if (!ReadFile(file.h, szChunk, sizeof(szChunk), &dwRead, nullptr))
            return false;
        if (dwRead == 0)
            return true;
        pstrBytes->append(szChunk, dwRead);
    }
}

bool WriteWholeFile(const std::string& strPath, const std::string& strBytes) {
    std::wstring wstrPath = s_WidePath(strPath);
    std::wstring wstrTemp = wstrPath + L".tmp";
    bool bOk = false;
    {
        KHandle file{CreateFileW(wstrTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr)};
        if (file.h == INVALID_HANDLE_VALUE)
            return false;
        DWORD dwWritten = 0;
        bOk = WriteFile(file.h, strBytes.data(), static_cast<DWORD>(strBytes.size()), &dwWritten, nullptr) &&
              dwWritten == strBytes.size() && FlushFileBuffers(file.h);
    }
    if (!bOk || !MoveFileExW(wstrTemp.c_str(), wstrPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(wstrTemp.c_str());
        return false;
    }
    return true;
}


void WriteLine(const std::string& strUtf8, bool bError) {
    HANDLE hOut = GetStdHandle(bError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    std::wstring wstrLine = s_Wide(CP_UTF8, strUtf8) + L"\r\n";
    DWORD dwMode = 0, dwWritten = 0;
    if (GetConsoleMode(hOut, &dwMode)) {
        WriteConsoleW(hOut, wstrLine.data(), static_cast<DWORD>(wstrLine.size()), &dwWritten, nullptr);
        return;
    }
    // Redirected: in the console's code page, as a console program's output is read.
    UINT uCodePage = GetConsoleOutputCP();
    std::string strLine = s_Narrow(uCodePage ? uCodePage : GetACP(), wstrLine);
    WriteFile(hOut, strLine.data(), static_cast<DWORD>(strLine.size()), &dwWritten, nullptr);
}
