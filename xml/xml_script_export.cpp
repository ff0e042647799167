// Export of a loaded document onto a script stack as nested tables, one per element:
// { name = ..., value = ..., attrib = { [name] = value, ... }, children = { t1, t2, ... } }.
#include <tinyxml.h>

#include <string>

#include "core/win_text.h"
#include "xml/engine_api.h"
#include "xml/kxml_document.h"
#include "xml/kxml_element.h"
#include "xml/xml_log.h"

namespace {

// The script's strings are in the document's code page (GBK for the installer's), as the game's
// scripts expect; the document holds UTF-8.
void s_PushText(KTwScript& sc, const char* pszText, unsigned uCodePage) {
    sc.PushString(Utf8ToCodePage(uCodePage, pszText).c_str());
}

int s_PushElem2Script(const TiXmlElement* pcElement, KTwScript& sc, unsigned uCodePage) {
    static const char s_szFunc[] = "s_PushElem2Script";
    if (!XR_CHECK(pcElement, s_szFunc))
        return 0;

    sc.PushTable();

    const char* pszValue = pcElement->Value();
    if (!XR_CHECK(pszValue, s_szFunc) || !XR_CHECK(pszValue[0], s_szFunc))
        return 0;
    s_PushText(sc, pszValue, uCodePage);
    sc.SetTableField("name");

    const char* pszText = KXmlElementText(pcElement);
    s_PushText(sc, pszText ? pszText : "", uCodePage);
    sc.SetTableField("value");

    sc.PushTable();
    for (const TiXmlAttribute* pcAttrib = pcElement->FirstAttribute(); pcAttrib; pcAttrib = pcAttrib->Next()) {
        pszValue = pcAttrib->Value();
        if (!XR_CHECK(pszValue, s_szFunc))
            return 0;
        s_PushText(sc, pszValue, uCodePage);
        pszValue = pcAttrib->Name();
        if (!XR_CHECK(pszValue, s_szFunc) || !XR_CHECK(pszValue[0], s_szFunc))
            return 0;
        sc.SetTableField(Utf8ToCodePage(uCodePage, pszValue).c_str());
    }
    sc.SetTableField("attrib");

    sc.PushTable();
    int nIndex = 0;
    for (const TiXmlElement* pcChildElem = pcElement->FirstChildElement(); pcChildElem;
         pcChildElem = pcChildElem->NextSiblingElement()) {
        if (!XR_CHECK(s_PushElem2Script(pcChildElem, sc, uCodePage), s_szFunc))
            return 0;
        sc.SetTableIndex(++nIndex);
    }
    sc.SetTableField("children");
    return 1;
}

}  // namespace

int KXMLDocument::Push2Script(KTwScript* pScript) {
    static const char s_szFunc[] = "KXMLDocument::Push2Script";
    if (!pScript)
        return 0;
    int nTopIndex = pScript->GetTopIndex();
    const TiXmlElement* pcElement = m_xmlDoc.FirstChildElement();
    if (!XR_CHECK(pcElement, s_szFunc)) {
        pScript->SetTopIndex(nTopIndex);
        return 0;
    }
    int nResult = s_PushElem2Script(pcElement, *pScript, CodePage());
    if (!nResult)
        pScript->SetTopIndex(nTopIndex);
    return nResult;
}
