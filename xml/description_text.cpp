#include "xml/description_text.h"

#include <cstring>
#include <vector>

#include "core/ansi_text.h"

std::string DeclaredEncoding(const char* pszText, size_t uSize) {
    if (uSize < 5 || std::strncmp(pszText, "<?xml", 5) != 0)
        return std::string();
    const char* pszEnd = static_cast<const char*>(std::memchr(pszText, '>', uSize));
    std::string strDeclaration(pszText, pszEnd ? pszEnd : pszText + uSize);
    size_t uName = strDeclaration.find("encoding");
    size_t uOpen = uName == std::string::npos ? uName : strDeclaration.find_first_of("\"'", uName);
    size_t uClose = uOpen == std::string::npos ? uOpen : strDeclaration.find(strDeclaration[uOpen], uOpen + 1);
    if (uClose == std::string::npos)
        return std::string();
    std::string strEncoding = strDeclaration.substr(uOpen + 1, uClose - uOpen - 1);
    for (char& c : strEncoding)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return strEncoding;
}

unsigned DescriptionCodePage(const char* pszText, size_t uSize, unsigned uDefault) {
    std::string strEncoding = DeclaredEncoding(pszText, uSize);
    if (strEncoding.empty() || strEncoding == "us-ascii" || strEncoding == "ascii")
        return uDefault;
    if (strEncoding == "utf-8" || strEncoding == "utf8")
        return CODE_PAGE_UTF8;
    if (strEncoding == "gbk" || strEncoding == "gb2312" || strEncoding == "cp936" || strEncoding == "x-gbk")
        return CODE_PAGE_GBK;
    return 0;
}

bool DescriptionToUtf8(const char* pBytes, size_t uSize, unsigned uDefault, std::string* pstrUtf8) {
    pstrUtf8->clear();
    const unsigned char* pcbyHead = reinterpret_cast<const unsigned char*>(pBytes);
    if (uSize >= 2 && pcbyHead[0] == 0xFF && pcbyHead[1] == 0xFE) {
        // UTF-16 LE: the code units after the mark, an odd last byte dropped.
        std::vector<char16_t> aUnits((uSize - 2) / 2);
        for (size_t i = 0; i < aUnits.size(); ++i)
            aUnits[i] = static_cast<char16_t>(pcbyHead[2 + 2 * i] | (pcbyHead[3 + 2 * i] << 8));
        if (aUnits.empty())
            return false;
        *pstrUtf8 = Utf8FromUtf16(aUnits.data(), aUnits.size());
        return true;
    }
    if (uSize >= 3 && pcbyHead[0] == 0xEF && pcbyHead[1] == 0xBB && pcbyHead[2] == 0xBF) {
        pstrUtf8->assign(pBytes + 3, uSize - 3);
        return true;
    }
    unsigned uCodePage = DescriptionCodePage(pBytes, uSize, uDefault);
    if (uCodePage == 0)
        return false;
    const char* pZero = static_cast<const char*>(std::memchr(pBytes, '\0', uSize));
    size_t uText = pZero ? static_cast<size_t>(pZero - pBytes) : uSize;
    *pstrUtf8 = uCodePage == CODE_PAGE_UTF8 ? std::string(pBytes, uText) : Utf8FromCodePage(CODE_PAGE_GBK, pBytes, uText);
    return true;
}
