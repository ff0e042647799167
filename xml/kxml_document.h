// KXMLDocument: the IKXmlDocument over a parser document.
#pragma once

#include <vector>

#include "xml/load_buffer.h"
#include "xml/xml_document.h"

class KXmlElement;

class KXMLDocument final : public IKXmlDocument {
public:
    KXMLDocument(int nOption, const char* pszEncoding);
    ~KXMLDocument() override;
    KXMLDocument(const KXMLDocument&) = delete;
    KXMLDocument& operator=(const KXMLDocument&) = delete;

    int Load(const char* pszXMLFileName) override;
    int LoadBuff(const char* pszXMLBuff) override;
    int Release() override;
    IKXmlNode* GetRootElement(const char* pszName) override;
    int Push2Script(KTwScript* pScript) override;
    int Save(const char* pszFileName) override;

    // The code page of the encoding the document was created with: GBK for "gbk", UTF-8 for
    // "utf-8", else the system's ANSI code page. Files are read from it and scripts get it.
    unsigned CodePage() const;

private:
    KTiXmlDocument m_xmlDoc;
    std::vector<KXmlElement*> m_ElementList;
    int m_nOption;
    char m_szEncoding[32];
};

// Converts uInLen UTF-16 code units to the program's UTF-8 into at most uOutLen bytes, without a
// terminator (the name is the one the engine's log has always shown). The byte count (0 when nothing converted), or -1 when an argument is unusable.
int s_Utf16_Ansi(const wchar_t* pwszIn, unsigned uInLen, char* pszOut, unsigned uOutLen);
