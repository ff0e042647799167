#include "xml/kxml_document.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "core/ansi_text.h"
#include "core/win_text.h"
#include "xml/description_text.h"
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
    // The portable conversion the packaging tool reads UTF-16 with (a lone surrogate becomes
    // U+FFFD, as the system's converter makes it), cut to what fits.
    std::string strText = Utf8FromUtf16(reinterpret_cast<const char16_t*>(pwszIn), uInLen);
    if (strText.size() > uOutLen)
        strText.resize(uOutLen);
    memcpy(pszOut, strText.data(), strText.size());
    int nOutLen = static_cast<int>(strText.size());
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

    // The engine takes the system's ANSI text: a path that code page cannot write goes by its
    // short form, or not at all.
    std::string strEnginePath = SystemAnsiPath(pszXMLFileName);
    if (strEnginePath.empty())
        return 0;
    std::unique_ptr<IKEngineFile, KEngineFileCloser> pFile(g_OpenFile(strEnginePath.c_str(), 0, 0, 0));
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
    std::string strConverted;
    const unsigned char* pcbyHead = reinterpret_cast<const unsigned char*>(pszBufRead);
    if (nSize >= 2 && pcbyHead[0] == 0xFF && pcbyHead[1] == 0xFE) {
        // UTF-16 LE: convert the code units after the mark; an odd last byte is dropped. A unit
        // takes at most three bytes in UTF-8.
        unsigned uUnits = static_cast<unsigned>(nSize - 2) / 2;
        nSize = static_cast<int>(uUnits * 3 + 1);
        pAnsiBuffer.reset(new (std::nothrow) char[static_cast<size_t>(nSize) + 1]);
        std::unique_ptr<wchar_t[]> pwszText(new (std::nothrow) wchar_t[uUnits + 1]);
        if (!pAnsiBuffer || !pwszText)
            return 0;
        memcpy(pwszText.get(), pszBufRead + 2, uUnits * sizeof(wchar_t));
        nSize = s_Utf16_Ansi(pwszText.get(), uUnits, pAnsiBuffer.get(), static_cast<unsigned>(nSize - 1));
        if (!XR_CHECK(nSize >= 0, s_szFunc))
            return 0;
        pAnsiBuffer[nSize] = '\0';
        pszBufRead = pAnsiBuffer.get();
    } else {
        // By the UTF-8 mark, else the encoding the declaration names, else the document's own
        // (GBK for the installer's): the reading the packaging tool's check shares.
        unsigned uCodePage = DescriptionCodePage(pszBufRead, static_cast<size_t>(nSize), CodePage());
        if (!XR_CHECK(uCodePage != 0, s_szFunc))
            return 0;
        DescriptionToUtf8(pszBufRead, static_cast<size_t>(nSize), CodePage(), &strConverted);
        pszBufRead = &strConverted[0];
        nSize = static_cast<int>(strConverted.size());
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

unsigned KXMLDocument::CodePage() const {
    if (_stricmp(m_szEncoding, "gbk") == 0 || _stricmp(m_szEncoding, "gb2312") == 0)
        return CP_GBK;
    if (_stricmp(m_szEncoding, "utf-8") == 0)
        return CP_UTF8;
    return CP_ACP;
}

int KXMLDocument::Save(const char* pszFileName) {
    if (!pszFileName)
        return 0;
    // Written back in the document's own encoding, with the line ends of text mode.
    TiXmlPrinter printer;
    printer.SetLineBreak("\r\n");
    m_xmlDoc.Accept(&printer);
    std::string strBytes = Utf8ToCodePage(CodePage(), std::string(printer.CStr(), printer.Size()));
    HANDLE hFile = CreateFileU8(pszFileName, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    DWORD dwWritten = 0;
    BOOL bWritten = WriteFile(hFile, strBytes.data(), static_cast<DWORD>(strBytes.size()), &dwWritten, nullptr);
    CloseHandle(hFile);
    return bWritten && dwWritten == strBytes.size() ? 1 : 0;
}
