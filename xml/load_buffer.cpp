#include "xml/load_buffer.h"

#include <cstring>
#include <string>

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
    Parse(strText.c_str(), nullptr, eEncoding);
    return !Error();
}
