#include "xml/kxml_element.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include <tinyxml.h>

#include "core/text_copy.h"

const char* KXmlElementText(const TiXmlElement* pcElement) {
    if (!pcElement)
        return nullptr;
    const TiXmlNode* pcChild = pcElement->FirstChild();
    const TiXmlText* pcText = pcChild ? pcChild->ToText() : nullptr;
    return pcText ? pcText->Value() : nullptr;
}

KXmlElement::KXmlElement(TiXmlNode* pNode) : m_pElement(pNode ? pNode->ToElement() : nullptr) {}

KXmlElement::~KXmlElement() {
    DestroyList(m_ElementList);
}

void KXmlElement::DestroyList(std::vector<KXmlElement*>& list) {
    std::vector<KXmlElement*> pending;
    pending.swap(list);
    while (!pending.empty()) {
        KXmlElement* pElement = pending.back();
        pending.pop_back();
        pending.insert(pending.end(), pElement->m_ElementList.begin(), pElement->m_ElementList.end());
        pElement->m_ElementList.clear();
        delete pElement;
    }
}

IKXmlNode* KXmlElement::Adopt(std::vector<KXmlElement*>& list, TiXmlNode* pNode) {
    if (!pNode)
        return nullptr;
    KXmlElement* pElement = new (std::nothrow) KXmlElement(pNode);
    if (!pElement)
        return nullptr;
    try {
        list.push_back(pElement);
    } catch (...) {
        delete pElement;
        return nullptr;
    }
    return pElement;
}

const char* KXmlElement::GetChildDouble(const char* pszName, double* pdValue) {
    const char* pszText = GetChildText(pszName, nullptr);
    if (pszText && pdValue)
        *pdValue = atof(pszText);
    return pszText;
}

const char* KXmlElement::GetChildInt(const char* pszName, int* pnValue) {
    const char* pszText = GetChildText(pszName, nullptr);
    if (pszText && pnValue)
        *pnValue = atoi(pszText);
    return pszText;
}

const char* KXmlElement::GetChildText(const char* pszName, char* pszBuf) {
    if (!m_pElement)
        return nullptr;
    const TiXmlElement* pcTarget = pszName ? m_pElement->FirstChildElement(pszName) : m_pElement;
    const char* pszText = KXmlElementText(pcTarget);
    if (pszText && pszBuf)
        CopyTextCut(pszBuf, pszText, KXML_TEXT_SIZE);
    return pszText;
}

const char* KXmlElement::GetAttribDouble(const char* pszName, double* pdValue) {
    if (!m_pElement)
        return nullptr;
    const char* pszValue = m_pElement->Attribute(pszName);
    if (pdValue)
        *pdValue = pszValue ? atof(pszValue) : 0.0;
    return pszValue;
}

const char* KXmlElement::GetAttribInt(const char* pszName, int* pnValue) {
    if (!m_pElement)
        return nullptr;
    const char* pszValue = m_pElement->Attribute(pszName);
    if (pnValue)
        *pnValue = pszValue ? atoi(pszValue) : 0;
    return pszValue;
}

const char* KXmlElement::GetAttribText(const char* pszName, char* pszBuf) {
    if (!m_pElement)
        return nullptr;
    const char* pszValue = m_pElement->Attribute(pszName);
    if (pszValue && pszBuf)
        CopyTextCut(pszBuf, pszValue, KXML_TEXT_SIZE);
    return pszValue;
}

void KXmlElement::SetAttribText(const char* pszName, const char* pszValue) {
    if (m_pElement && pszName && pszValue)
        m_pElement->SetAttribute(pszName, pszValue);
}

IKXmlNode* KXmlElement::GetFirstChild() {
    return m_pElement ? Adopt(m_ElementList, m_pElement->FirstChildElement()) : nullptr;
}

IKXmlNode* KXmlElement::GetFirstChildByName(const char* pszName) {
    return m_pElement ? Adopt(m_ElementList, m_pElement->FirstChildElement(pszName)) : nullptr;
}

IKXmlNode* KXmlElement::GetNextSibling() {
    return m_pElement ? Adopt(m_ElementList, m_pElement->NextSiblingElement()) : nullptr;
}

IKXmlNode* KXmlElement::GetNextSiblingByName(const char* pszName) {
    return m_pElement ? Adopt(m_ElementList, m_pElement->NextSiblingElement(pszName)) : nullptr;
}

const char* KXmlElement::GetName(char* pszBuf) {
    if (!m_pElement)
        return nullptr;
    const char* pszName = m_pElement->Value();
    if (pszName && pszBuf)
        CopyTextCut(pszBuf, pszName, KXML_TEXT_SIZE);
    return pszName;
}

void KXmlElement::SetAttribDouble(const char* pszName, double dValue) {
    // "%f" of the largest double takes 317 characters; the buffer holds any value whole.
    char szValue[512];
    snprintf(szValue, sizeof(szValue), "%f", dValue);
    SetAttribText(pszName, szValue);
}

void KXmlElement::SetAttribInt(const char* pszName, int nValue) {
    char szValue[64];
    snprintf(szValue, sizeof(szValue), "%d", nValue);
    SetAttribText(pszName, szValue);
}
