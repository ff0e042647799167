// Export of a loaded document onto a script stack as nested tables, one per element:
// { name = ..., value = ..., attrib = { [name] = value, ... }, children = { t1, t2, ... } }.
#include <tinyxml.h>

#include "xml/engine_api.h"
#include "xml/kxml_document.h"
#include "xml/kxml_element.h"
#include "xml/xml_log.h"

namespace {

int s_PushElem2Script(const TiXmlElement* pcElement, KTwScript& sc) {
    static const char s_szFunc[] = "s_PushElem2Script";
    if (!XR_CHECK(pcElement, s_szFunc))
        return 0;

    sc.PushTable();

    const char* pszValue = pcElement->Value();
    if (!XR_CHECK(pszValue, s_szFunc) || !XR_CHECK(pszValue[0], s_szFunc))
        return 0;
    sc.PushString(pszValue);
    sc.SetTableField("name");

    const char* pszText = KXmlElementText(pcElement);
    sc.PushString(pszText ? pszText : "");
    sc.SetTableField("value");

    sc.PushTable();
    for (const TiXmlAttribute* pcAttrib = pcElement->FirstAttribute(); pcAttrib; pcAttrib = pcAttrib->Next()) {
        pszValue = pcAttrib->Value();
        if (!XR_CHECK(pszValue, s_szFunc))
            return 0;
        sc.PushString(pszValue);
        pszValue = pcAttrib->Name();
        if (!XR_CHECK(pszValue, s_szFunc) || !XR_CHECK(pszValue[0], s_szFunc))
            return 0;
        sc.SetTableField(pszValue);
    }
    sc.SetTableField("attrib");

    sc.PushTable();
    int nIndex = 0;
    for (const TiXmlElement* pcChildElem = pcElement->FirstChildElement(); pcChildElem;
         pcChildElem = pcChildElem->NextSiblingElement()) {
        if (!XR_CHECK(s_PushElem2Script(pcChildElem, sc), s_szFunc))
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
    int nResult = s_PushElem2Script(pcElement, *pScript);
    if (!nResult)
        pScript->SetTopIndex(nTopIndex);
    return nResult;
}
