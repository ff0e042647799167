#include "xml/load_buffer.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/ansi_text.h"

namespace {

// The parser, the tree's destruction and the export to script tables all recurse once per
// element level; a document nested deeper than this would overflow the stack.
const int s_nMaxNesting = 1000;

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

    strText = s_ResolveCharacterReferences(strText);
    // White space is kept as written and trimmed around each text afterwards.
    TiXmlBase::SetCondenseWhiteSpace(false);
    bool bTooDeep = NestsDeeperThan(strText.c_str(), eEncoding, s_nMaxNesting);
    ClearError();  // the walk's own readers may have noted what the parse reports again
    if (bTooDeep) {
        SetError(TIXML_ERROR_PARSING_ELEMENT, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    Parse(strText.c_str(), nullptr, eEncoding);
    if (Error())
        return false;
    s_TrimTexts(this);
    return true;
}

bool KTiXmlDocument::NestsDeeperThan(const char* pszText, TiXmlEncoding eEncoding, int nMax) {
    // The parser's own classifier and readers of everything but elements step over each node, so
    // that a quote, an entity or a '>' means here what it means to the parse; only the elements'
    // levels are kept on a stack instead of the parser's recursion.
    std::vector<std::string> aEndTags;  // "</name" of each open element, innermost last
    const char* p = SkipWhiteSpace(pszText, eEncoding);
    while (p && *p) {
        if (!aEndTags.empty() && *p != '<') {
            TiXmlText text("");
            p = text.Parse(p, nullptr, eEncoding);
        } else if (!aEndTags.empty() && StringEqual(p, "</", false, eEncoding)) {
            if (!StringEqual(p, aEndTags.back().c_str(), false, eEncoding))
                return false;  // the parse fails here
            p = SkipWhiteSpace(p + aEndTags.back().size(), eEncoding);
            if (!p || *p != '>')
                return false;
            ++p;
            aEndTags.pop_back();
        } else {
            std::unique_ptr<TiXmlNode> pNode(Identify(p, eEncoding));
            if (!pNode)
                return false;  // text outside the root ends the parse
            if (!pNode->ToElement()) {
                p = pNode->Parse(p, nullptr, eEncoding);
            } else {
                // The start tag as TiXmlElement::Parse reads it.
                TIXML_STRING strName;
                p = ReadName(SkipWhiteSpace(p + 1, eEncoding), &strName, eEncoding);
                while (p && *p) {
                    p = SkipWhiteSpace(p, eEncoding);
                    if (!p || !*p)
                        return false;
                    if (*p == '/') {
                        p = p[1] == '>' ? p + 2 : nullptr;
                        break;
                    }
                    if (*p == '>') {
                        ++p;
                        aEndTags.push_back(std::string("</") + strName.c_str());
                        if (static_cast<int>(aEndTags.size()) > nMax)
                            return true;
                        break;
                    }
                    TiXmlAttribute attribute;
                    p = attribute.Parse(p, nullptr, eEncoding);
                }
            }
        }
        p = p ? SkipWhiteSpace(p, eEncoding) : nullptr;
    }
    return false;
}
