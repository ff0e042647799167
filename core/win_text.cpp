#include "core/win_text.h"

#include <vector>

#include "core/ansi_text.h"

std::wstring Utf8ToWide(const char* pszUtf8) {
    if (!pszUtf8 || !pszUtf8[0])
        return std::wstring();
    int nLen = MultiByteToWideChar(CP_UTF8, 0, pszUtf8, -1, nullptr, 0);
    if (nLen <= 1)
        return std::wstring();
    std::wstring wstrText(static_cast<size_t>(nLen), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, pszUtf8, -1, &wstrText[0], nLen);
    wstrText.resize(static_cast<size_t>(nLen - 1));
    return wstrText;
}

std::wstring Utf8ToWide(const std::string& strUtf8) {
    return Utf8ToWide(strUtf8.c_str());
}

std::string WideToUtf8(const wchar_t* pwszText, int nLen) {
    if (!pwszText)
        return std::string();
    if (nLen < 0)
        nLen = static_cast<int>(wcslen(pwszText));
    if (nLen == 0)
        return std::string();
    int nBytes = WideCharToMultiByte(CP_UTF8, 0, pwszText, nLen, nullptr, 0, nullptr, nullptr);
    if (nBytes <= 0)
        return std::string();
    std::string strText(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pwszText, nLen, &strText[0], nBytes, nullptr, nullptr);
    return strText;
}

std::string CodePageToUtf8(UINT uCodePage, const char* pBytes, size_t uSize) {
    return Utf8FromCodePage(uCodePage, pBytes, uSize);
}

std::string CodePageToUtf8(UINT uCodePage, const std::string& strBytes) {
    return CodePageToUtf8(uCodePage, strBytes.data(), strBytes.size());
}

std::string Utf8ToCodePage(UINT uCodePage, const std::string& strUtf8, bool* pbExact) {
    if (pbExact)
        *pbExact = true;
    std::wstring wstrText = Utf8ToWide(strUtf8);
    if (wstrText.empty())
        return std::string();
    BOOL bDefaultUsed = FALSE;
    // The UTF code pages take no default-character flag.
    BOOL* pbDefaultUsed = uCodePage == CP_UTF8 || uCodePage == CP_UTF7 ? nullptr : &bDefaultUsed;
    int nLen = static_cast<int>(wstrText.size());
    int nBytes = WideCharToMultiByte(uCodePage, 0, wstrText.data(), nLen, nullptr, 0, nullptr, pbDefaultUsed);
    if (nBytes <= 0) {
        if (pbExact)
            *pbExact = false;
        return std::string();
    }
    std::string strText(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(uCodePage, 0, wstrText.data(), nLen, &strText[0], nBytes, nullptr, pbDefaultUsed);
    if (pbExact && bDefaultUsed)
        *pbExact = false;
    return strText;
}

size_t Utf16Length(const char* pszUtf8) {
    // The installer's narrow text is UTF-8: one count serves it and the shared name rules.
    return NarrowUtf16Length(pszUtf8);
}

bool FitsMaxPath(const std::string& strPath) {
    return Utf16Length(strPath.c_str()) < MAX_PATH;
}

std::string SystemAnsiPath(const std::string& strPath) {
    bool bExact = false;
    std::string strAnsi = Utf8ToCodePage(CP_ACP, strPath, &bExact);
    if (bExact)
        return strAnsi;
    // The longest existing part before a separator, in its short form, then the rest as given.
    std::wstring wstrPath = Utf8ToWide(strPath);
    for (size_t uCut = wstrPath.size(); uCut != std::wstring::npos && uCut > 0;
         uCut = uCut == 0 ? std::wstring::npos : wstrPath.find_last_of(L"\\/", uCut - 1)) {
        std::wstring wstrHead = wstrPath.substr(0, uCut);
        wchar_t wszShort[MAX_PATH];
        DWORD dwLen = GetShortPathNameW(wstrHead.c_str(), wszShort, MAX_PATH);
        if (!dwLen || dwLen >= MAX_PATH)
            continue;
        std::string strShort = Utf8ToCodePage(CP_ACP, WideToUtf8(wszShort) + WideToUtf8(wstrPath.c_str() + uCut), &bExact);
        return bExact ? strShort : std::string();
    }
    return std::string();
}

namespace {

// pszPath for the wide file calls. A path that reaches the system's limits (MAX_PATH, and 12 less
// for a new folder) goes in its extended-length form "\\?\C:\..." ("\\?\UNC\server\..."), made from
// its full path, so that the working folder's copies of the deepest plug-in files, which are
// longer than the files themselves, can be made, read and removed.
std::wstring s_FilePath(const char* pszPath) {
    std::wstring wstrPath = Utf8ToWide(pszPath);
    if (wstrPath.size() < MAX_PATH - 12 || wstrPath.compare(0, 4, L"\\\\?\\") == 0)
        return wstrPath;
    DWORD dwLen = GetFullPathNameW(wstrPath.c_str(), 0, nullptr, nullptr);
    if (!dwLen)
        return wstrPath;
    std::wstring wstrFull(dwLen, L'\0');
    dwLen = GetFullPathNameW(wstrPath.c_str(), dwLen, &wstrFull[0], nullptr);
    if (!dwLen || dwLen >= wstrFull.size())
        return wstrPath;
    wstrFull.resize(dwLen);
    if (wstrFull.size() > 2 && wstrFull[1] == L':')
        return L"\\\\?\\" + wstrFull;
    if (wstrFull.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC" + wstrFull.substr(1);
    return wstrPath;
}

}  // namespace

DWORD GetFileAttributesU8(const char* pszPath) {
    return GetFileAttributesW(s_FilePath(pszPath).c_str());
}

BOOL SetFileAttributesU8(const char* pszPath, DWORD dwAttributes) {
    return SetFileAttributesW(s_FilePath(pszPath).c_str(), dwAttributes);
}

HANDLE CreateFileU8(const char* pszPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags) {
    return CreateFileW(s_FilePath(pszPath).c_str(), dwAccess, dwShare, nullptr, dwDisposition, dwFlags, nullptr);
}

BOOL DeleteFileU8(const char* pszPath) {
    return DeleteFileW(s_FilePath(pszPath).c_str());
}

BOOL CreateDirectoryU8(const char* pszPath) {
    return CreateDirectoryW(s_FilePath(pszPath).c_str(), nullptr);
}

BOOL RemoveDirectoryU8(const char* pszPath) {
    return RemoveDirectoryW(s_FilePath(pszPath).c_str());
}

BOOL MoveFileU8(const char* pszFrom, const char* pszTo) {
    return MoveFileW(s_FilePath(pszFrom).c_str(), s_FilePath(pszTo).c_str());
}

BOOL MoveFileExU8(const char* pszFrom, const char* pszTo, DWORD dwFlags) {
    return MoveFileExW(s_FilePath(pszFrom).c_str(), s_FilePath(pszTo).c_str(), dwFlags);
}

HANDLE FindFirstFileU8(const char* pszPattern, WIN32_FIND_DATAW* pFound) {
    return FindFirstFileW(s_FilePath(pszPattern).c_str(), pFound);
}

bool GetFullPathU8(const char* pszPath, std::string* pstrFull) {
    wchar_t wszFull[MAX_PATH];
    DWORD dwLen = GetFullPathNameW(Utf8ToWide(pszPath).c_str(), MAX_PATH, wszFull, nullptr);
    if (!dwLen || dwLen >= MAX_PATH)
        return false;
    *pstrFull = WideToUtf8(wszFull, static_cast<int>(dwLen));
    return true;
}

bool GetLongPathU8(const char* pszPath, std::string* pstrLong) {
    wchar_t wszLong[MAX_PATH];
    DWORD dwLen = GetLongPathNameW(Utf8ToWide(pszPath).c_str(), wszLong, MAX_PATH);
    if (!dwLen || dwLen >= MAX_PATH)
        return false;
    *pstrLong = WideToUtf8(wszLong, static_cast<int>(dwLen));
    return true;
}

bool GetModulePathU8(HMODULE hModule, std::string* pstrPath) {
    wchar_t wszPath[MAX_PATH];
    DWORD dwLen = GetModuleFileNameW(hModule, wszPath, MAX_PATH);
    // A path cut short by the buffer would name some other file.
    if (!dwLen || dwLen >= MAX_PATH)
        return false;
    *pstrPath = WideToUtf8(wszPath, static_cast<int>(dwLen));
    return true;
}

bool GetTempFolderU8(std::string* pstrFolder) {
    wchar_t wszTemp[MAX_PATH];
    DWORD dwLen = GetTempPathW(MAX_PATH, wszTemp);
    if (!dwLen || dwLen >= MAX_PATH)
        return false;
    *pstrFolder = WideToUtf8(wszTemp, static_cast<int>(dwLen));
    return true;
}

std::string GetProfileTextU8(const char* pszSection, const char* pszKey, const char* pszDefault, const char* pszFile,
                             size_t uChars) {
    std::vector<wchar_t> buffer(uChars ? uChars : 1, L'\0');
    std::wstring wstrSection = Utf8ToWide(pszSection);
    std::wstring wstrKey = Utf8ToWide(pszKey);
    DWORD dwLen = GetPrivateProfileStringW(pszSection ? wstrSection.c_str() : nullptr, pszKey ? wstrKey.c_str() : nullptr,
                                           Utf8ToWide(pszDefault).c_str(), buffer.data(),
                                           static_cast<DWORD>(buffer.size()), Utf8ToWide(pszFile).c_str());
    return WideToUtf8(buffer.data(), static_cast<int>(dwLen < buffer.size() ? dwLen : buffer.size() - 1));
}

BOOL WriteProfileTextU8(const char* pszSection, const char* pszKey, const char* pszValue, const char* pszFile) {
    std::wstring wstrKey = Utf8ToWide(pszKey);
    std::wstring wstrValue = Utf8ToWide(pszValue);
    return WritePrivateProfileStringW(Utf8ToWide(pszSection).c_str(), pszKey ? wstrKey.c_str() : nullptr,
                                      pszValue ? wstrValue.c_str() : nullptr, Utf8ToWide(pszFile).c_str());
}
