#include "xml/load_buffer.h"

#include <string>

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

    Parse(strText.c_str(), nullptr, eEncoding);
    return !Error();
}
