#include "xml/kxml_document.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "xml/engine_api.h"
#include "xml/kxml_element.h"
#include "xml/xml_log.h"

IKXmlDocument* CreateXMLDocument(int nOption, const char* pszEncoding) {
    return new (std::nothrow) KXMLDocument(nOption, pszEncoding);
}

KXMLDocument::KXMLDocument(int nOption, const char* pszEncoding) : m_nOption(nOption) {
    m_szEncoding[0] = '\0';
    if (pszEncoding)
        g_StrCpyLen(m_szEncoding, pszEncoding, sizeof(m_szEncoding));
}

KXMLDocument::~KXMLDocument() {
    KXmlElement::DestroyList(m_ElementList);
}

int KXMLDocument::Release() {
    delete this;
    return 0;
}

int s_Utf16_Ansi(const wchar_t* pwszIn, unsigned uInLen, char* pszOut, unsigned uOutLen) {
    static const char s_szFunc[] = "s_Utf16_Ansi";
    if (!XR_CHECK(pwszIn, s_szFunc) || !XR_CHECK(uInLen > 0, s_szFunc) || !XR_CHECK(pszOut, s_szFunc) ||
        !XR_CHECK(uOutLen > 0, s_szFunc))
        return -1;
    int nOutLen = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, pwszIn, static_cast<int>(uInLen), pszOut,
                                      static_cast<int>(uOutLen), nullptr, nullptr);
    XR_CHECK(nOutLen > 0, s_szFunc);
    return nOutLen;
}

namespace {

// Closes an engine file on every way out.
struct KEngineFileCloser {
    void operator()(IKEngineFile* pFile) const { pFile->Release(); }
};

}  // namespace

int KXMLDocument::Load(const char* pszXMLFileName) {
    static const char s_szFunc[] = "KXMLDocument::Load";
    if (!XR_CHECK(pszXMLFileName, s_szFunc) || !XR_CHECK(pszXMLFileName[0], s_szFunc))
        return 0;

    std::unique_ptr<IKEngineFile, KEngineFileCloser> pFile(g_OpenFile(pszXMLFileName, 0, 0, 0));
    if (!pFile)
        return 0;

    int nSize = pFile->Size();
    if (nSize < 0)
        nSize = 0;
    std::unique_ptr<char[]> pReadBuffer(new (std::nothrow) char[static_cast<size_t>(nSize) + 1]);
    if (!pReadBuffer)
        return 0;
    char* pszBufRead = pReadBuffer.get();
    int nRead = pFile->Read(pszBufRead, nSize);
    nSize = nRead < 0 ? 0 : nRead;  // a short read parses what was read
    pszBufRead[nSize] = '\0';

    std::unique_ptr<char[]> pAnsiBuffer;
    const unsigned char* pcbyHead = reinterpret_cast<const unsigned char*>(pszBufRead);
    if (nSize >= 2 && pcbyHead[0] == 0xFF && pcbyHead[1] == 0xFE) {
        // UTF-16 LE: convert the code units after the mark; an odd last byte is dropped.
        unsigned uUnits = static_cast<unsigned>(nSize - 2) / 2;
        pAnsiBuffer.reset(new (std::nothrow) char[static_cast<size_t>(nSize)]);
        std::unique_ptr<wchar_t[]> pwszText(new (std::nothrow) wchar_t[uUnits + 1]);
        if (!pAnsiBuffer || !pwszText)
            return 0;
        memcpy(pwszText.get(), pszBufRead + 2, uUnits * sizeof(wchar_t));
        nSize = s_Utf16_Ansi(pwszText.get(), uUnits, pAnsiBuffer.get(), static_cast<unsigned>(nSize - 1));
        if (!XR_CHECK(nSize >= 0, s_szFunc))
            return 0;
        pAnsiBuffer[nSize] = '\0';
        pszBufRead = pAnsiBuffer.get();
    }
    if (!XR_CHECK(m_xmlDoc.LoadBuffer(pszBufRead, nSize, TIXML_ENCODING_LEGACY), s_szFunc))
        return 0;
    return 1;
}

int KXMLDocument::LoadBuff(const char* pszXMLBuff) {
    static const char s_szFunc[] = "KXMLDocument::LoadBuff";
    if (!XR_CHECK(pszXMLBuff, s_szFunc))
        return 0;
    int nSize = g_StrLen(pszXMLBuff);
    if (!XR_CHECK(m_xmlDoc.LoadBuffer(pszXMLBuff, nSize, TIXML_ENCODING_LEGACY), s_szFunc))
        return 0;
    return 1;
}

IKXmlNode* KXMLDocument::GetRootElement(const char* pszName) {
    if (!pszName)
        return nullptr;
    return KXmlElement::Adopt(m_ElementList, m_xmlDoc.FirstChildElement(pszName));
}

int KXMLDocument::Save(const char* pszFileName) {
    if (!pszFileName)
        return 0;
    return m_xmlDoc.SaveFile(pszFileName) ? 1 : 0;
}
