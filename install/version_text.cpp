#include "install/version_text.h"

#include "install/package_rules.h"
#include "install/version_check.h"

namespace {

template <class Ch>
bool s_IsBlank(Ch c) {
    return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == 0x20;
}

// Narrows [*puStart, *puEnd) of s to leave out the blanks around it.
template <class Ch>
void s_Trim(const std::basic_string<Ch>& s, size_t* puStart, size_t* puEnd) {
    while (*puStart < *puEnd && s_IsBlank(s[*puStart]))
        ++*puStart;
    while (*puEnd > *puStart && s_IsBlank(s[*puEnd - 1]))
        --*puEnd;
}

// The text of a file in its own code units: bytes (a code page or UTF-8) or UTF-16 units.
template <class Ch>
struct KUnits {
    std::basic_string<Ch> text;
    unsigned uCodePage;  // for bytes

    std::string Utf8(size_t uStart, size_t uEnd) const;
    std::basic_string<Ch> FromUtf8(const std::string& strUtf8) const;
    // The name between uStart and uEnd without its blanks, in UTF-8.
    std::string Name(size_t uStart, size_t uEnd) const {
        s_Trim(text, &uStart, &uEnd);
        return Utf8(uStart, uEnd);
    }
};

template <>
std::string KUnits<char>::Utf8(size_t uStart, size_t uEnd) const {
    return Utf8FromCodePage(uCodePage, text.data() + uStart, uEnd - uStart);
}
// UTF-16 units are held in wchar_t, which holds one on every platform; on Windows the programs'
// own wide-string code then serves them too.
template <>
std::string KUnits<wchar_t>::Utf8(size_t uStart, size_t uEnd) const {
    std::u16string strUnits(text.begin() + uStart, text.begin() + uEnd);
    return Utf8FromUtf16(strUnits.data(), strUnits.size());
}
template <>
std::string KUnits<char>::FromUtf8(const std::string& strUtf8) const {
    return uCodePage == CODE_PAGE_UTF8 ? strUtf8 : CodePageFromUtf8(uCodePage, strUtf8);
}
template <>
std::wstring KUnits<wchar_t>::FromUtf8(const std::string& strUtf8) const {
    std::u16string strUnits = Utf16FromUtf8(strUtf8);
    return std::wstring(strUnits.begin(), strUnits.end());
}

// The first line of a key in the [Version] sections: its name without blanks, in UTF-8, and its
// value without blanks and one pair of enclosing quotes.
struct KKeyLine {
    std::string strName;
    size_t uValueStart, uValueEnd;
};

// The lines that count, and where a missing key goes.
struct KLines {
    std::vector<KKeyLine> aKeys;   // one per key name, in file order
    bool bSection = false;         // a [Version] section exists
    size_t uInsertAt = 0;          // after the first such section's last line
    bool bInsertNeedsEnd = false;  // that line ends the file without a line end
};

template <class Ch>
KLines s_Lines(const KUnits<Ch>& units) {
    const std::basic_string<Ch>& s = units.text;
    KLines lines;
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
        s_Trim(s, &a, &b);
        if (a == b)
            continue;
        size_t uClose = b;
        while (s[a] == '[' && uClose > a + 1 && s[uClose - 1] != ']')
            --uClose;
        if (s[a] == '[' && uClose > a + 1) {
            bInVersion = EqualsNoCaseAscii(units.Name(a + 1, uClose - 1), GAME_VERSION_SECTION);
            bInFirst = bInVersion && !lines.bSection;
            lines.bSection = lines.bSection || bInVersion;
        } else if (bInVersion) {
            size_t uEquals = a;
            while (uEquals < b && s[uEquals] != '=')
                ++uEquals;
            std::string strName = uEquals < b ? units.Name(a, uEquals) : std::string();
            bool bSeen = strName.empty();  // a line without "=" or a name is no key
            for (const KKeyLine& key : lines.aKeys)
                bSeen = bSeen || EqualsNoCaseAscii(key.strName, strName.c_str());
            if (!bSeen) {
                size_t v = uEquals + 1;
                s_Trim(s, &v, &b);
                if (b - v >= 2 && (s[v] == '"' || s[v] == '\'') && s[b - 1] == s[v]) {
                    ++v;
                    --b;
                }
                lines.aKeys.push_back({strName, v, b});
            }
        }
        if (bInFirst) {
            lines.uInsertAt = uNext;
            lines.bInsertNeedsEnd = uNext == uEnd;
        }
    }
    return lines;
}

// A key named by the installer (UTF-8) as the names of the file are compared: without blanks.
std::string s_KeyName(const std::string& strKey) {
    return KUnits<char>{strKey, CODE_PAGE_UTF8}.Name(0, strKey.size());
}

// The line of key strKey, compared as the profile functions compare names; null when none.
const KKeyLine* s_Find(const KLines& lines, const std::string& strKey) {
    const std::string strWanted = s_KeyName(strKey);
    for (const KKeyLine& key : lines.aKeys) {
        if (EqualsNoCaseAscii(key.strName, strWanted.c_str()))
            return &key;
    }
    return nullptr;
}

template <class Ch>
void s_Set(KUnits<Ch>* pUnits, const std::string& strKey, const std::string& strValue) {
    std::basic_string<Ch>& s = pUnits->text;
    KLines lines = s_Lines(*pUnits);
    const KKeyLine* pKey = s_Find(lines, strKey);
    std::basic_string<Ch> value = pUnits->FromUtf8(strValue);
    if (pKey) {
        s.replace(pKey->uValueStart, pKey->uValueEnd - pKey->uValueStart, value);
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
    if (lines.bSection) {
        s.insert(lines.uInsertAt, lines.bInsertNeedsEnd ? lineEnd + line : line);
        return;
    }
    bool bEnded = s.empty() || s.back() == '\r' || s.back() == '\n';
    s += (bEnded ? std::basic_string<Ch>() : lineEnd) + pUnits->FromUtf8("[" GAME_VERSION_SECTION "]") + lineEnd + line;
}

// Runs fnEdit on the file's text in its own code units and gives back the file's bytes, the
// byte-order mark kept.
template <class Fn>
std::string s_WithUnits(const std::string& strBytes, unsigned uCodePage, Fn fnEdit) {
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
    units.uCodePage = bUtf8 ? static_cast<unsigned>(CODE_PAGE_UTF8) : uCodePage;
    units.text = strBytes.substr(bUtf8 ? 3 : 0);
    fnEdit(&units);
    return (bUtf8 ? strBytes.substr(0, 3) : std::string()) + units.text;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ListGameVersions(const std::string& strBytes, unsigned uCodePage) {
    std::vector<std::pair<std::string, std::string>> aKeys;
    s_WithUnits(strBytes, uCodePage, [&](auto* pUnits) {
        for (const KKeyLine& key : s_Lines(*pUnits).aKeys)
            aKeys.emplace_back(key.strName, pUnits->Utf8(key.uValueStart, key.uValueEnd));
    });
    return aKeys;
}

bool FindGameVersion(const std::string& strBytes, const std::string& strKey, std::string* pstrValue, unsigned uCodePage) {
    const std::string strWanted = s_KeyName(strKey);
    for (const auto& key : ListGameVersions(strBytes, uCodePage)) {
        if (EqualsNoCaseAscii(key.first, strWanted.c_str())) {
            if (!key.second.empty())
                *pstrValue = key.second;
            return !key.second.empty();
        }
    }
    return false;
}

std::string SetGameVersion(const std::string& strBytes, const std::string& strKey, const std::string& strValue,
                           unsigned uCodePage) {
    return s_WithUnits(strBytes, uCodePage, [&](auto* pUnits) { s_Set(pUnits, strKey, strValue); });
}
