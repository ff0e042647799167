// The parser document with one more step: parse a text of known length with line ends normalised.
#pragma once

#include <tinyxml.h>

class KTiXmlDocument : public TiXmlDocument {
public:
    // Replaces the content with the parse of nLength bytes of pszText (fewer if a zero byte comes
    // first). CR LF and lone CR become LF. false with the parser's error state set on failure;
    // elements nested more than 1000 deep are refused before the parse, which recurses per level.
    bool LoadBuffer(const char* pszText, int nLength, TiXmlEncoding eEncoding);

private:
    // True when the elements of pszText, read as the parse reads them, nest deeper than nMax
    // before the parse would end.
    bool NestsDeeperThan(const char* pszText, TiXmlEncoding eEncoding, int nMax);
};
