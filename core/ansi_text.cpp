#include "core/ansi_text.h"

namespace {

#ifdef _WIN32
KNarrowText s_eText = NARROW_UTF8;
#else
KNarrowText s_eText = NARROW_GBK;
#endif

bool s_IsGbkLead(unsigned char ch) {
    return ch >= 0x81 && ch <= 0xFE;
}

}  // namespace

void SetNarrowText(KNarrowText eText) {
    s_eText = eText;
}

KNarrowText GetNarrowText() {
    return s_eText;
}

size_t NarrowCharLength(const char* p) {
    unsigned char ch = static_cast<unsigned char>(*p);
    if (ch < 0x80)
        return 1;
    if (s_eText == NARROW_GBK)
        return s_IsGbkLead(ch) && p[1] != '\0' ? 2 : 1;
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
    if (s_eText == NARROW_GBK)
        return GbkFromCodePoint(ulCode, pstrOut);
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
