#include "core/ansi_text.h"

#include <errno.h>
#include <iconv.h>
#include <locale.h>

#include <climits>
#include <cwchar>
#include <cwctype>

namespace {

// iconv over the whole text; at a sequence the source cannot hold, bLenient writes U+FFFD and
// steps over one byte, otherwise the conversion fails.
bool s_Convert(const char* pszTo, const char* pszFrom, const char* pIn, size_t uIn, bool bLenient, std::string* pstrOut) {
    iconv_t cd = iconv_open(pszTo, pszFrom);
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
        bOk = bLenient;
        if (bOk) {
            strOut += "\xEF\xBF\xBD";
            ++pSource;
            --uIn;
        }
    }
    iconv_close(cd);
    if (bOk)
        *pstrOut = strOut;
    return bOk;
}

}  // namespace

std::string Utf8FromGbk(const char* pBytes, size_t uSize) {
    std::string strUtf8;
    s_Convert("UTF-8", "CP936", pBytes, uSize, true, &strUtf8);
    return strUtf8;
}

bool GbkFromUtf8(const std::string& strUtf8, std::string* pstrGbk) {
    return IsUtf8Text(strUtf8) && s_Convert("CP936", "UTF-8", strUtf8.data(), strUtf8.size(), false, pstrGbk);
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
