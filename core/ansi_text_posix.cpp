#include "core/ansi_text.h"

#include <errno.h>
#include <iconv.h>
#include <locale.h>

#include <climits>
#include <cwchar>
#include <cwctype>
#include <string>

namespace {

// iconv over the whole text; at a sequence the source cannot hold or the target cannot write,
// pszReplacement is written and one byte stepped over, with the continuation bytes after it in a
// UTF-8 source; without one the conversion fails.
bool s_Convert(const std::string& strTo, const std::string& strFrom, const char* pIn, size_t uIn, const char* pszReplacement,
               std::string* pstrOut) {
    iconv_t cd = iconv_open(strTo.c_str(), strFrom.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string strOut;
    char szChunk[1024];
    char* pSource = const_cast<char*>(pIn);
    bool bOk = true;
    while (bOk && uIn > 0) {
        char* pOut = szChunk;
        size_t uOut = sizeof(szChunk);
        size_t uResult = iconv(cd, &pSource, &uIn, &pOut, &uOut);
        strOut.append(szChunk, static_cast<size_t>(pOut - szChunk));
        if (uResult != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        bOk = pszReplacement != nullptr;
        if (bOk) {
            strOut += pszReplacement;
            size_t uStep = 1;
            while (strFrom == "UTF-8" && uStep < uIn && (static_cast<unsigned char>(pSource[uStep]) & 0xC0) == 0x80)
                ++uStep;
            pSource += uStep;
            uIn -= uStep;
        }
    }
    iconv_close(cd);
    if (bOk)
        *pstrOut = strOut;
    return bOk;
}

// iconv's name of a code page; the system's is GBK here.
std::string s_Name(unsigned uCodePage) {
    return uCodePage == CODE_PAGE_UTF8 ? "UTF-8" : "CP" + std::to_string(uCodePage == CODE_PAGE_SYSTEM ? 936 : uCodePage);
}

}  // namespace

std::string Utf8FromCodePage(unsigned uCodePage, const char* pBytes, size_t uSize) {
    std::string strUtf8;
    s_Convert("UTF-8", s_Name(uCodePage), pBytes, uSize, "\xEF\xBF\xBD", &strUtf8);
    return strUtf8;
}

std::string CodePageFromUtf8(unsigned uCodePage, const std::string& strUtf8) {
    std::string strText;
    s_Convert(s_Name(uCodePage), "UTF-8", strUtf8.data(), strUtf8.size(), "?", &strText);
    return strText;
}

std::u16string Utf16FromUtf8(const std::string& strUtf8) {
    std::string strBytes;
    s_Convert("UTF-16LE", "UTF-8", strUtf8.data(), strUtf8.size(), "\xFD\xFF", &strBytes);
    std::u16string strUnits;
    for (size_t i = 0; i + 1 < strBytes.size(); i += 2)
        strUnits += static_cast<char16_t>(static_cast<unsigned char>(strBytes[i]) | static_cast<unsigned char>(strBytes[i + 1]) << 8);
    return strUnits;
}

bool GbkFromUtf8(const std::string& strUtf8, std::string* pstrGbk) {
    return IsUtf8Text(strUtf8) && s_Convert("CP936", "UTF-8", strUtf8.data(), strUtf8.size(), nullptr, pstrGbk);
}

std::string FoldNameCase(const std::string& strUtf8) {
    // Case mapping needs a UTF-8 character type; C.UTF-8 has Unicode's.
    static locale_t s_Locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    std::string strResult;
    std::mbstate_t state{};
    const char* p = strUtf8.c_str();
    const char* pEnd = p + strUtf8.size();
    locale_t previous = s_Locale ? uselocale(s_Locale) : static_cast<locale_t>(0);
    while (p < pEnd) {
        wchar_t wch = 0;
        size_t uLen = std::mbrtowc(&wch, p, static_cast<size_t>(pEnd - p), &state);
        if (uLen == 0 || uLen > static_cast<size_t>(pEnd - p)) {
            // Not UTF-8: kept byte for byte.
            strResult += *p++;
            state = std::mbstate_t{};
            continue;
        }
        char szOut[MB_LEN_MAX];
        std::mbstate_t outState{};
        size_t uOut = std::wcrtomb(szOut, static_cast<wchar_t>(std::towupper(static_cast<wint_t>(wch))), &outState);
        if (uOut == static_cast<size_t>(-1))
            strResult.append(p, uLen);
        else
            strResult.append(szOut, uOut);
        p += uLen;
    }
    if (s_Locale)
        uselocale(previous);
    return strResult;
}
