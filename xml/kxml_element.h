// KXmlElement: an IKXmlNode over one parser element. Owns the element objects its navigation
// hands out; is itself owned by whoever handed it out.
#pragma once

#include <vector>

#include "xml/xml_document.h"

class TiXmlElement;
class TiXmlNode;

class KXmlElement final : public IKXmlNode {
public:
    // pNode is converted to an element; a node that is not an element gives a null element.
    explicit KXmlElement(TiXmlNode* pNode);
    ~KXmlElement();
    KXmlElement(const KXmlElement&) = delete;
    KXmlElement& operator=(const KXmlElement&) = delete;

    const char* GetChildDouble(const char* pszName, double* pdValue) override;
    const char* GetChildInt(const char* pszName, int* pnValue) override;
    const char* GetChildText(const char* pszName, char* pszBuf) override;
    const char* GetAttribDouble(const char* pszName, double* pdValue) override;
    const char* GetAttribInt(const char* pszName, int* pnValue) override;
    const char* GetAttribText(const char* pszName, char* pszBuf) override;
    void SetAttribText(const char* pszName, const char* pszValue) override;
    IKXmlNode* GetFirstChild() override;
    IKXmlNode* GetFirstChildByName(const char* pszName) override;
    IKXmlNode* GetNextSibling() override;
    IKXmlNode* GetNextSiblingByName(const char* pszName) override;
    const char* GetName(char* pszBuf) override;
    void SetAttribDouble(const char* pszName, double dValue) override;
    void SetAttribInt(const char* pszName, int nValue) override;

    // Destroys every element object in pList and everything they own, then empties the list.
    // Works without recursion: walking N siblings builds an ownership chain N deep.
    static void DestroyList(std::vector<KXmlElement*>& list);

    // A new wrapper for pNode appended to list (its owner's list); null when pNode is null or
    // memory runs out.
    static IKXmlNode* Adopt(std::vector<KXmlElement*>& list, TiXmlNode* pNode);

private:

    TiXmlElement* m_pElement;
    std::vector<KXmlElement*> m_ElementList;
};

// The text of a parser element: its first child node's value when that node is text, else null.
const char* KXmlElementText(const TiXmlElement* pcElement);
