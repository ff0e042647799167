#include "install/ini_file.h"

#include <windows.h>

#include <cstring>

#include "core/win_text.h"

namespace {

// No resource list of a real game comes near this; a larger file is not read.
const LONGLONG s_llMaxFileSize = 256LL * 1024 * 1024;
// GetPrivateProfileIntA reads the value into a buffer of this many characters.
const size_t s_uIntBuffer = 30;

// The blanks the profile functions trim: tab to carriage return, the DOS end-of-file mark, space.
bool s_IsBlank(wchar_t c) {
    return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == 0x20;
}

void s_Trim(const wchar_t** ppStart, const wchar_t** ppEnd) {
    while (*ppStart < *ppEnd && s_IsBlank(**ppStart))
        ++*ppStart;
    while (*ppEnd > *ppStart && s_IsBlank((*ppEnd)[-1]))
        --*ppEnd;
}

std::wstring s_Wide(UINT uCodePage, const char* pBytes, size_t uSize) {
    if (uSize == 0)
        return std::wstring();
    int nLen = MultiByteToWideChar(uCodePage, 0, pBytes, static_cast<int>(uSize), nullptr, 0);
    std::wstring wstrText(static_cast<size_t>(nLen > 0 ? nLen : 0), L'\0');
    if (nLen > 0)
        MultiByteToWideChar(uCodePage, 0, pBytes, static_cast<int>(uSize), &wstrText[0], nLen);
    return wstrText;
}


// The text of a value as the profile functions copy it into a buffer of uBuffer characters
// (0: unlimited): a value that begins and ends with the same quote loses both, unless it is cut.
std::wstring s_CopyEntry(const std::wstring& wstrValue, size_t uBuffer) {
    size_t uStart = 0;
    bool bQuoted = false;
    if (wstrValue.size() >= 2 && (wstrValue[0] == L'\'' || wstrValue[0] == L'"') &&
        wstrValue.back() == wstrValue[0]) {
        bQuoted = true;
        uStart = 1;
    }
    size_t uRest = wstrValue.size() - uStart;
    size_t uCopy = uBuffer ? (uRest < uBuffer - 1 ? uRest : uBuffer - 1) : uRest;
    std::wstring wstrText = wstrValue.substr(uStart, uCopy);
    if (bQuoted && (!uBuffer || uBuffer >= uRest) && !wstrText.empty())
        wstrText.pop_back();
    return wstrText;
}

// RtlUnicodeStringToInteger with base 0, which GetPrivateProfileIntW uses.
int s_ParseInt(const std::wstring& wstrText) {
    size_t i = 0;
    size_t uLen = wstrText.size();
    while (i < uLen && wstrText[i] <= L' ')
        ++i;
    bool bMinus = false;
    if (i < uLen && (wstrText[i] == L'+' || wstrText[i] == L'-')) {
        bMinus = wstrText[i] == L'-';
        ++i;
    }
    unsigned int uBase = 10;
    if (uLen - i >= 2 && wstrText[i] == L'0') {
        if (wstrText[i + 1] == L'b')
            uBase = 2;
        else if (wstrText[i + 1] == L'o')
            uBase = 8;
        else if (wstrText[i + 1] == L'x')
            uBase = 16;
        if (uBase != 10)
            i += 2;
    }
    unsigned int uTotal = 0;
    for (; i < uLen; ++i) {
        wchar_t c = wstrText[i];
        unsigned int uDigit = 36;
        if (c >= L'0' && c <= L'9')
            uDigit = static_cast<unsigned int>(c - L'0');
        else if (c >= L'A' && c <= L'Z')
            uDigit = static_cast<unsigned int>(c - L'A') + 10;
        else if (c >= L'a' && c <= L'z')
            uDigit = static_cast<unsigned int>(c - L'a') + 10;
        if (uDigit >= uBase)
            break;
        uTotal = uTotal * uBase + uDigit;
    }
    return static_cast<int>(bMinus ? 0u - uTotal : uTotal);
}

}  // namespace

std::wstring KIniFile::FoldName(const std::wstring& wstrName) {
    // ASCII letters only, as Wine's profile functions compare (Windows folds every letter; names
    // of the game's packages are ASCII).
    std::wstring wstrFolded = wstrName;
    for (wchar_t& c : wstrFolded) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return wstrFolded;
}

std::wstring FoldSectionName(const char* pszName) {
    std::wstring wstrName = Utf8ToWide(pszName);
    const wchar_t* pStart = wstrName.c_str();
    const wchar_t* pEnd = pStart + wstrName.size();
    s_Trim(&pStart, &pEnd);
    return KIniFile::FoldName(std::wstring(pStart, pEnd));
}

int KIniFile::Load(const char* pszPath) {
    Parse(std::string());
    HANDLE hFile = CreateFileU8(pszPath ? pszPath : "", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (hFile == INVALID_HANDLE_VALUE) {
        DWORD dwError = GetLastError();
        return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND ? 1 : 0;
    }
    LARGE_INTEGER size = {};
    std::string strBytes;
    bool bRead = GetFileSizeEx(hFile, &size) && size.QuadPart <= s_llMaxFileSize;
    if (bRead && size.QuadPart > 0) {
        strBytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD dwRead = 0;
        bRead = ReadFile(hFile, &strBytes[0], static_cast<DWORD>(strBytes.size()), &dwRead, nullptr) != FALSE;
        strBytes.resize(dwRead);
    }
    CloseHandle(hFile);
    if (!bRead)
        return 0;
    Parse(strBytes);
    return 1;
}

void KIniFile::Parse(const std::string& strBytes) {
    m_Sections.clear();
    m_SectionNames.clear();
    m_FirstSection.clear();

    std::wstring wstrText;
    const unsigned char* pBytes = reinterpret_cast<const unsigned char*>(strBytes.data());
    if (strBytes.size() >= 3 && pBytes[0] == 0xEF && pBytes[1] == 0xBB && pBytes[2] == 0xBF) {
        wstrText = s_Wide(CP_UTF8, strBytes.data() + 3, strBytes.size() - 3);
    } else if (strBytes.size() >= 2 && ((pBytes[0] == 0xFF && pBytes[1] == 0xFE) || (pBytes[0] == 0xFE && pBytes[1] == 0xFF))) {
        bool bBigEndian = pBytes[0] == 0xFE;
        size_t uChars = (strBytes.size() - 2) / 2;
        wstrText.resize(uChars);
        for (size_t i = 0; i < uChars; ++i) {
            unsigned char b0 = pBytes[2 + 2 * i];
            unsigned char b1 = pBytes[3 + 2 * i];
            wstrText[i] = static_cast<wchar_t>(bBigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
        }
    } else {
        wstrText = s_Wide(CP_ACP, strBytes.data(), strBytes.size());
    }

    // The keys before the first section header belong to an unnamed section.
    m_Sections.push_back(KSection());
    m_FirstSection.emplace(std::wstring(), 0);
    // Whether the section's last key had an empty name (-1: the section has no key yet).
    int nPrevKeyEmpty = -1;
    const wchar_t* pNext = wstrText.c_str();
    const wchar_t* pTextEnd = pNext + wstrText.size();
    while (pNext < pTextEnd) {
        const wchar_t* pStart = pNext;
        while (pNext < pTextEnd && *pNext != L'\n' && *pNext != L'\r')
            ++pNext;
        while (pNext < pTextEnd && (*pNext == L'\n' || *pNext == L'\r'))
            ++pNext;
        const wchar_t* pEnd = pNext;
        s_Trim(&pStart, &pEnd);
        if (pStart >= pEnd)
            continue;

        if (*pStart == L'[') {
            const wchar_t* pClose = pEnd;
            while (pClose > pStart && pClose[-1] != L']')
                --pClose;
            // A line with "[" and no "]" is read as a key.
            if (pClose > pStart) {
                const wchar_t* pNameStart = pStart + 1;
                const wchar_t* pNameEnd = pClose - 1 > pNameStart ? pClose - 1 : pNameStart;
                s_Trim(&pNameStart, &pNameEnd);
                std::wstring wstrName(pNameStart, pNameEnd);
                int nIndex = static_cast<int>(m_Sections.size());
                m_Sections.push_back(KSection());
                m_FirstSection.emplace(FoldName(wstrName), nIndex);
                if (!wstrName.empty())
                    m_SectionNames.push_back(WideToUtf8(wstrName.c_str(), static_cast<int>(wstrName.size())));
                nPrevKeyEmpty = -1;
                continue;
            }
        }

        KKey key;
        key.bHasValue = false;
        const wchar_t* pNameEnd = pEnd;
        const wchar_t* pEquals = pStart;
        while (pEquals < pEnd && *pEquals != L'=')
            ++pEquals;
        if (pEquals < pEnd) {
            pNameEnd = pEquals;
            while (pNameEnd > pStart && s_IsBlank(pNameEnd[-1]))
                --pNameEnd;
            const wchar_t* pValue = pEquals + 1;
            while (pValue < pEnd && s_IsBlank(*pValue))
                ++pValue;
            key.wstrValue.assign(pValue, pEnd);
            key.bHasValue = true;
        }
        // Runs of lines that hold only "=" count once, as the profile functions count them.
        if (pNameEnd == pStart && nPrevKeyEmpty == 1)
            continue;
        nPrevKeyEmpty = pNameEnd == pStart ? 1 : 0;
        key.wstrFolded = FoldName(std::wstring(pStart, pNameEnd));
        m_Sections.back().keys.push_back(std::move(key));
    }
}

int KIniFile::FindSection(const char* pszName) const {
    std::unordered_map<std::wstring, int>::const_iterator it = m_FirstSection.find(FoldSectionName(pszName));
    return it == m_FirstSection.end() ? -1 : it->second;
}

const std::wstring* KIniFile::FindValue(int nSection, const char* pszKey) const {
    if (nSection < 0 || static_cast<size_t>(nSection) >= m_Sections.size() || !pszKey)
        return nullptr;
    std::wstring wstrKey = FoldSectionName(pszKey);
    for (const KKey& key : m_Sections[static_cast<size_t>(nSection)].keys) {
        if (key.wstrFolded == wstrKey)
            return key.bHasValue ? &key.wstrValue : nullptr;
    }
    return nullptr;
}

std::string KIniFile::GetText(int nSection, const char* pszKey, const char* pszDefault) const {
    const std::wstring* pwstrValue = FindValue(nSection, pszKey);
    if (!pwstrValue)
        return pszDefault ? pszDefault : "";
    std::wstring wstrText = s_CopyEntry(*pwstrValue, 0);
    return WideToUtf8(wstrText.c_str(), static_cast<int>(wstrText.size()));
}

int KIniFile::GetInt(int nSection, const char* pszKey, int nDefault) const {
    const std::wstring* pwstrValue = FindValue(nSection, pszKey);
    if (!pwstrValue)
        return nDefault;
    std::wstring wstrText = s_CopyEntry(*pwstrValue, s_uIntBuffer);
    if (wstrText.empty())
        return nDefault;
    return s_ParseInt(wstrText);
}
