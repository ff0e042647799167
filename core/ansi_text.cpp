#include "core/ansi_text.h"

namespace {

// The code point of the well-formed sequence of *puLen bytes at p, or -1 for a broken one.
long s_DecodeUtf8(const unsigned char* p, size_t* puLen) {
    unsigned char ch = p[0];
    size_t uLen = ch < 0x80 ? 1 : ch >= 0xF0 ? 4 : ch >= 0xE0 ? 3 : ch >= 0xC2 ? 2 : 0;
    if (uLen == 0 || ch > 0xF4)
        return -1;
    long lCode = uLen == 1 ? ch : ch & (0x3F >> (uLen - 1));
    for (size_t i = 1; i < uLen; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return -1;
        lCode = (lCode << 6) | (p[i] & 0x3F);
    }
    static const long s_alMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (lCode < s_alMin[uLen] || lCode > 0x10FFFF || (lCode >= 0xD800 && lCode <= 0xDFFF))
        return -1;
    *puLen = uLen;
    return lCode;
}

}  // namespace

size_t NarrowCharLength(const char* p) {
    unsigned char ch = static_cast<unsigned char>(*p);
    if (ch < 0x80)
        return 1;
    size_t uLen = ch >= 0xF0 ? 4 : ch >= 0xE0 ? 3 : ch >= 0xC0 ? 2 : 1;
    for (size_t i = 1; i < uLen; ++i) {
        if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80)
            return 1;
    }
    return uLen;
}

size_t NarrowUtf16Length(const char* pszText) {
    size_t uUnits = 0;
    for (const char* p = pszText; p && *p;) {
        size_t uLen = NarrowCharLength(p);
        uUnits += uLen == 4 ? 2 : 1;  // a four-byte UTF-8 sequence is a surrogate pair
        p += uLen;
    }
    return uUnits;
}

int NarrowFromCodePoint(unsigned long ulCode, std::string* pstrOut) {
    if (ulCode > 0x10FFFF || (ulCode >= 0xD800 && ulCode <= 0xDFFF))
        return 0;
    std::string strBytes;
    if (ulCode < 0x80) {
        strBytes += static_cast<char>(ulCode);
    } else if (ulCode < 0x800) {
        strBytes += static_cast<char>(0xC0 | (ulCode >> 6));
        strBytes += static_cast<char>(0x80 | (ulCode & 0x3F));
    } else if (ulCode < 0x10000) {
        strBytes += static_cast<char>(0xE0 | (ulCode >> 12));
        strBytes += static_cast<char>(0x80 | ((ulCode >> 6) & 0x3F));
        strBytes += static_cast<char>(0x80 | (ulCode & 0x3F));
    } else {
        strBytes += static_cast<char>(0xF0 | (ulCode >> 18));
        strBytes += static_cast<char>(0x80 | ((ulCode >> 12) & 0x3F));
        strBytes += static_cast<char>(0x80 | ((ulCode >> 6) & 0x3F));
        strBytes += static_cast<char>(0x80 | (ulCode & 0x3F));
    }
    *pstrOut = strBytes;
    return 1;
}

bool IsUtf8Text(const std::string& strText) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(strText.c_str());
    const unsigned char* pEnd = p + strText.size();
    while (p < pEnd) {
        size_t uLen = 0;
        if (s_DecodeUtf8(p, &uLen) < 0)  // stops at the terminator, never past it
            return false;
        p += uLen;
    }
    return true;
}

std::string Utf8FromUtf16(const char16_t* pUnits, size_t uUnits) {
    std::string strText;
    strText.reserve(uUnits);
    for (size_t i = 0; i < uUnits; ++i) {
        unsigned long ulCode = pUnits[i];
        if (ulCode >= 0xD800 && ulCode <= 0xDFFF) {
            bool bPair = ulCode < 0xDC00 && i + 1 < uUnits && pUnits[i + 1] >= 0xDC00 && pUnits[i + 1] <= 0xDFFF;
            ulCode = bPair ? 0x10000 + ((ulCode - 0xD800) << 10) + (pUnits[++i] - 0xDC00) : 0xFFFD;
        }
        std::string strChar;
        NarrowFromCodePoint(ulCode, &strChar);
        strText += strChar;
    }
    return strText;
}
