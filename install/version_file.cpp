#include "install/version_file.h"

#include <windows.h>

#include "core/win_text.h"
#include "install/ini_file.h"
#include "install/version_check.h"

namespace {

bool s_IsBlank(wchar_t c) {
    return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == 0x20;
}

// The text of a file in its own code units: bytes (system code page or UTF-8) or UTF-16 units.
template <class Ch>
struct KUnits {
    std::basic_string<Ch> text;
    UINT uCodePage;  // for bytes

    std::wstring Wide(size_t uStart, size_t uEnd) const;
    std::basic_string<Ch> FromUtf8(const std::string& strUtf8) const;
};

template <>
std::wstring KUnits<char>::Wide(size_t uStart, size_t uEnd) const {
    return Utf8ToWide(CodePageToUtf8(uCodePage, text.data() + uStart, uEnd - uStart));
}
template <>
std::wstring KUnits<wchar_t>::Wide(size_t uStart, size_t uEnd) const {
    return text.substr(uStart, uEnd - uStart);
}
template <>
std::string KUnits<char>::FromUtf8(const std::string& strUtf8) const {
    return uCodePage == CP_UTF8 ? strUtf8 : Utf8ToCodePage(uCodePage, strUtf8);
}
template <>
std::wstring KUnits<wchar_t>::FromUtf8(const std::string& strUtf8) const {
    return Utf8ToWide(strUtf8);
}

// Where a key's value stands, or where a missing key goes.
struct KPlace {
    bool bKey = false;
    size_t uValueStart = 0, uValueEnd = 0;  // the value without blanks and enclosing quotes
    bool bSection = false;                  // a [Version] section exists
    size_t uInsertAt = 0;                   // after the first such section's last line
    bool bInsertNeedsEnd = false;           // that line ends the file without a line end
};

template <class Ch>
KPlace s_Find(const KUnits<Ch>& units, const std::string& strKey) {
    const std::basic_string<Ch>& s = units.text;
    const std::wstring wstrSection = FoldSectionName(GAME_VERSION_SECTION);
    const std::wstring wstrKey = FoldSectionName(strKey.c_str());
    auto fnFolded = [&](size_t a, size_t b) {
        while (a < b && s_IsBlank(static_cast<wchar_t>(s[a])))
            ++a;
        while (b > a && s_IsBlank(static_cast<wchar_t>(s[b - 1])))
            --b;
        return KIniFile::FoldName(units.Wide(a, b));
    };
    KPlace place;
    bool bInVersion = false, bInFirst = false;
    for (size_t uNext = 0; uNext < s.size();) {
        size_t a = uNext, uEnd = uNext;
        while (uEnd < s.size() && s[uEnd] != '\r' && s[uEnd] != '\n')
            ++uEnd;
        // One line end: CR LF, CR or LF.
        uNext = uEnd < s.size() ? uEnd + 1 : uEnd;
        if (uNext < s.size() && s[uEnd] == '\r' && s[uNext] == '\n')
            ++uNext;
        size_t b = uEnd;
        while (a < b && s_IsBlank(static_cast<wchar_t>(s[a])))
            ++a;
        while (b > a && s_IsBlank(static_cast<wchar_t>(s[b - 1])))
            --b;
        if (a == b)
            continue;
        size_t uClose = b;
        while (s[a] == '[' && uClose > a + 1 && s[uClose - 1] != ']')
            --uClose;
        if (s[a] == '[' && uClose > a + 1) {
            bInVersion = fnFolded(a + 1, uClose - 1) == wstrSection;
            bInFirst = bInVersion && !place.bSection;
            place.bSection = place.bSection || bInVersion;
        } else if (bInVersion) {
            size_t uEquals = a;
            while (uEquals < b && s[uEquals] != '=')
                ++uEquals;
            if (uEquals < b && fnFolded(a, uEquals) == wstrKey) {
                size_t v = uEquals + 1;
                while (v < b && s_IsBlank(static_cast<wchar_t>(s[v])))
                    ++v;
                if (b - v >= 2 && (s[v] == '"' || s[v] == '\'') && s[b - 1] == s[v]) {
                    ++v;
                    --b;
                }
                place.bKey = true;
                place.uValueStart = v;
                place.uValueEnd = b;
                return place;
            }
        }
        if (bInFirst) {
            place.uInsertAt = uNext;
            place.bInsertNeedsEnd = uNext == uEnd;
        }
    }
    return place;
}

template <class Ch>
void s_Set(KUnits<Ch>* pUnits, const std::string& strKey, const std::string& strValue) {
    std::basic_string<Ch>& s = pUnits->text;
    KPlace place = s_Find(*pUnits, strKey);
    std::basic_string<Ch> value = pUnits->FromUtf8(strValue);
    if (place.bKey) {
        s.replace(place.uValueStart, place.uValueEnd - place.uValueStart, value);
        return;
    }
    // The file's own line end.
    size_t uBreak = 0;
    while (uBreak < s.size() && s[uBreak] != '\r' && s[uBreak] != '\n')
        ++uBreak;
    std::basic_string<Ch> lineEnd = pUnits->FromUtf8("\r\n");
    if (uBreak < s.size())
        lineEnd = s.substr(uBreak, s[uBreak] == '\r' && uBreak + 1 < s.size() && s[uBreak + 1] == '\n' ? 2 : 1);
    std::basic_string<Ch> line = pUnits->FromUtf8(strKey) + pUnits->FromUtf8("=") + value + lineEnd;
    if (place.bSection) {
        s.insert(place.uInsertAt, place.bInsertNeedsEnd ? lineEnd + line : line);
        return;
    }
    bool bEnded = s.empty() || s.back() == '\r' || s.back() == '\n';
    s += (bEnded ? std::basic_string<Ch>() : lineEnd) + pUnits->FromUtf8("[" GAME_VERSION_SECTION "]") + lineEnd + line;
}

// Runs fnEdit on the file's text in its own code units and gives back the file's bytes, the
// byte-order mark kept.
template <class Fn>
std::string s_WithUnits(const std::string& strBytes, Fn fnEdit) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(strBytes.data());
    size_t uSize = strBytes.size();
    if (uSize >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF))) {
        bool bBigEndian = p[0] == 0xFE;
        KUnits<wchar_t> units;
        units.uCodePage = 0;
        for (size_t i = 2; i + 1 < uSize; i += 2)
            units.text += static_cast<wchar_t>(bBigEndian ? (p[i] << 8) | p[i + 1] : (p[i + 1] << 8) | p[i]);
        fnEdit(&units);
        std::string strOut = strBytes.substr(0, 2);
        for (wchar_t ch : units.text) {
            char achUnit[2] = {static_cast<char>(bBigEndian ? ch >> 8 : ch & 0xFF), static_cast<char>(bBigEndian ? ch & 0xFF : ch >> 8)};
            strOut.append(achUnit, 2);
        }
        if (uSize % 2)
            strOut += strBytes.back();  // an odd last byte, kept as it was
        return strOut;
    }
    bool bUtf8 = uSize >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF;
    KUnits<char> units;
    units.uCodePage = bUtf8 ? CP_UTF8 : CP_ACP;
    units.text = strBytes.substr(bUtf8 ? 3 : 0);
    fnEdit(&units);
    return (bUtf8 ? strBytes.substr(0, 3) : std::string()) + units.text;
}

}  // namespace

bool FindGameVersion(const std::string& strBytes, const std::string& strKey, std::string* pstrValue) {
    bool bFound = false;
    s_WithUnits(strBytes, [&](auto* pUnits) {
        KPlace place = s_Find(*pUnits, strKey);
        bFound = place.bKey && place.uValueEnd > place.uValueStart;
        if (bFound)
            *pstrValue = WideToUtf8(pUnits->Wide(place.uValueStart, place.uValueEnd).c_str());
    });
    return bFound;
}

std::string SetGameVersion(const std::string& strBytes, const std::string& strKey, const std::string& strValue) {
    return s_WithUnits(strBytes, [&](auto* pUnits) { s_Set(pUnits, strKey, strValue); });
}

int ReadGameVersionFile(const std::string& strPath, std::string* pstrBytes) {
    pstrBytes->clear();
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL);
    if (hFile == INVALID_HANDLE_VALUE) {
        DWORD dwError = GetLastError();
        return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND ? 1 : 0;
    }
    char achChunk[4096];
    DWORD dwRead = 0;
    BOOL bOk;
    // A version file is small; a huge one is no version file and is not read whole.
    while ((bOk = ReadFile(hFile, achChunk, sizeof(achChunk), &dwRead, nullptr)) && dwRead && pstrBytes->size() < (16u << 20))
        pstrBytes->append(achChunk, dwRead);
    DWORD dwError = GetLastError();
    CloseHandle(hFile);
    SetLastError(dwError);
    return bOk && !dwRead ? 1 : 0;
}

int WriteGameVersionFile(const std::string& strPath, const std::string& strBytes, bool* pbTouched) {
    *pbTouched = false;
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    *pbTouched = true;
    DWORD dwWritten = 0;
    BOOL bOk = WriteFile(hFile, strBytes.data(), static_cast<DWORD>(strBytes.size()), &dwWritten, nullptr) &&
               dwWritten == strBytes.size() && SetEndOfFile(hFile);
    DWORD dwError = GetLastError();
    CloseHandle(hFile);
    SetLastError(dwError);
    return bOk ? 1 : 0;
}
