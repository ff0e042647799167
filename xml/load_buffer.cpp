#include "xml/load_buffer.h"

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/ansi_text.h"

namespace {

// The parser, the tree's destruction and the export to script tables all recurse once per
// element level; a document nested deeper than this would overflow the stack.
const int s_nMaxNesting = 1000;

// True when the elements of pszText nest deeper than nMax. Counts element tags only (comments,
// CDATA sections, declarations and quoted attribute values are stepped over); a tag that the
// parser would reject may be counted, which only errs towards refusing.
bool s_NestsDeeperThan(const char* pszText, int nMax) {
    int nDepth = 0;
    for (const char* p = pszText; (p = std::strchr(p, '<')) != nullptr;) {
        const char* pszSkipTo = nullptr;
        if (std::strncmp(p, "<!--", 4) == 0)
            pszSkipTo = "-->";
        else if (std::strncmp(p, "<![CDATA[", 9) == 0)
            pszSkipTo = "]]>";
        if (pszSkipTo) {
            p = std::strstr(p, pszSkipTo);
            if (!p)
                return false;
            p += std::strlen(pszSkipTo);
            continue;
        }
        bool bClosing = p[1] == '/';
        bool bOther = p[1] == '!' || p[1] == '?';
        // Find the end of the tag, stepping over quoted values.
        char chQuote = '\0';
        const char* pszEnd = p + 1;
        for (; *pszEnd && (chQuote || *pszEnd != '>'); ++pszEnd) {
            if (chQuote ? *pszEnd == chQuote : (*pszEnd == '"' || *pszEnd == '\''))
                chQuote = chQuote ? '\0' : *pszEnd;
        }
        if (bClosing) {
            if (nDepth > 0)
                --nDepth;
        } else if (!bOther && !(*pszEnd == '>' && pszEnd[-1] == '/')) {
            if (++nDepth > nMax)
                return true;
        }
        if (!*pszEnd)
            return false;
        p = pszEnd + 1;
    }
    return false;
}

// Numeric character references above ASCII become the character in the document's own narrow
// encoding (the ANSI code page, as the UTF-16 path converts to), which the parser's byte-oriented
// mode cannot do itself: it keeps only the low byte. A character that code page cannot hold
// becomes "?", which no file name may hold, so such a name is refused rather than mistaken.
std::string s_ResolveCharacterReferences(const std::string& strText) {
    std::string strResult;
    strResult.reserve(strText.size());
    for (size_t i = 0; i < strText.size();) {
        if (strText.compare(i, 2, "&#") != 0) {
            strResult += strText[i++];
            continue;
        }
        bool bHex = i + 2 < strText.size() && (strText[i + 2] == 'x' || strText[i + 2] == 'X');
        size_t uDigits = i + (bHex ? 3 : 2);
        size_t uEnd = uDigits;
        unsigned long ulCode = 0;
        while (uEnd < strText.size() && uEnd - uDigits < 8 &&
               (bHex ? std::isxdigit(static_cast<unsigned char>(strText[uEnd])) != 0
                     : std::isdigit(static_cast<unsigned char>(strText[uEnd])) != 0))
            ulCode = ulCode * (bHex ? 16 : 10) + std::stoul(strText.substr(uEnd++, 1), nullptr, 16);
        if (uEnd == uDigits || uEnd >= strText.size() || strText[uEnd] != ';' || ulCode < 0x80 || ulCode > 0x10FFFF) {
            strResult += strText[i++];  // ASCII and malformed references are the parser's
            continue;
        }
        std::string strBytes;
        if (NarrowFromCodePoint(ulCode, &strBytes))
            strResult += strBytes;
        else
            strResult += '?';
        i = uEnd + 1;
    }
    return strResult;
}

// Drops the white space around every text, as a pretty-printed document puts it there, while
// the white space inside a text stays as written (two spaces in a file name are two spaces).
void s_TrimTexts(TiXmlNode* pRoot) {
    std::vector<TiXmlNode*> pending(1, pRoot);
    while (!pending.empty()) {
        TiXmlNode* pNode = pending.back();
        pending.pop_back();
        TiXmlText* pText = pNode->ToText();
        if (pText && !pText->CDATA()) {
            std::string_view value(pText->Value());
            size_t uFirst = value.find_first_not_of(" \t\n\r");
            size_t uLast = value.find_last_not_of(" \t\n\r");
            if (uFirst != 0 || uLast + 1 != value.size())
                pText->SetValue(uFirst == std::string_view::npos ? "" : std::string(value.substr(uFirst, uLast - uFirst + 1)).c_str());
        }
        for (TiXmlNode* pChild = pNode->FirstChild(); pChild; pChild = pChild->NextSibling())
            pending.push_back(pChild);
    }
}

}  // namespace

bool KTiXmlDocument::LoadBuffer(const char* pszText, int nLength, TiXmlEncoding eEncoding) {
    // The parser keeps the first error of a chain; each load reports its own.
    ClearError();
    if (!pszText || !pszText[0]) {
        SetError(TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    Clear();
    if (nLength <= 0) {
        SetError(TIXML_ERROR_DOCUMENT_EMPTY, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }

    std::string strText;
    strText.reserve(static_cast<size_t>(nLength));
    for (int i = 0; i < nLength && pszText[i]; ++i) {
        if (pszText[i] == '\r') {
            strText += '\n';
            if (i + 1 < nLength && pszText[i + 1] == '\n')
                ++i;
        } else {
            strText += pszText[i];
        }
    }

    if (s_NestsDeeperThan(strText.c_str(), s_nMaxNesting)) {
        SetError(TIXML_ERROR_PARSING_ELEMENT, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    strText = s_ResolveCharacterReferences(strText);
    // White space is kept as written and trimmed around each text afterwards.
    TiXmlBase::SetCondenseWhiteSpace(false);
    Parse(strText.c_str(), nullptr, eEncoding);
    if (Error())
        return false;
    s_TrimTexts(this);
    return true;
}
