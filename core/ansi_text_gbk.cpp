#include "core/ansi_text.h"

#include <iconv.h>

#include <cstdint>

int GbkFromCodePoint(unsigned long ulCode, std::string* pstrOut) {
    if (ulCode > 0x10FFFF || (ulCode >= 0xD800 && ulCode <= 0xDFFF))
        return 0;
    // One conversion descriptor per thread: iconv keeps state in it.
    struct KConverter {
        iconv_t cd = iconv_open("CP936", "UTF-32LE");
        ~KConverter() {
            if (cd != reinterpret_cast<iconv_t>(-1))
                iconv_close(cd);
        }
    };
    thread_local KConverter s_Converter;
    if (s_Converter.cd == reinterpret_cast<iconv_t>(-1))
        return 0;
    unsigned char abyIn[4] = {static_cast<unsigned char>(ulCode), static_cast<unsigned char>(ulCode >> 8),
                              static_cast<unsigned char>(ulCode >> 16), 0};
    char szOut[8];
    char* pIn = reinterpret_cast<char*>(abyIn);
    char* pOut = szOut;
    size_t uIn = sizeof(abyIn), uOut = sizeof(szOut);
    iconv(s_Converter.cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(s_Converter.cd, &pIn, &uIn, &pOut, &uOut) == static_cast<size_t>(-1))
        return 0;
    pstrOut->assign(szOut, static_cast<size_t>(pOut - szOut));
    return 1;
}
