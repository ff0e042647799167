// The installer's view of an XML document: a document interface and an element interface over
// the parser. Element objects handed out belong to the object that handed them out; callers
// free nothing but the document (Release).
#pragma once

class KTwScript;
class IKXmlNode;

// Text buffers handed to the getters must hold this many bytes: a text of 259 UTF-16 units (a
// path's limit) in UTF-8. A longer text is cut on a character boundary; the getter's result still
// points to the whole text, so a caller can tell.
enum { KXML_TEXT_SIZE = 260 * 3 };

class IKXmlDocument {
public:
    // Loads a file through the engine's file access. A UTF-16 LE file with byte-order mark is
    // converted to the ANSI code page first; anything else is parsed byte for byte. 1 or 0.
    virtual int Load(const char* pszXMLFileName) = 0;
    // Parses a NUL-terminated text. 1 or 0.
    virtual int LoadBuff(const char* pszXMLBuff) = 0;
    // Destroys the document and every element object it owns. Always returns 0.
    virtual int Release() = 0;
    // A new element object for the first top-level element named exactly pszName (not null),
    // owned by the document; null when there is none.
    virtual IKXmlNode* GetRootElement(const char* pszName) = 0;
    // Pushes the first top-level element as nested tables onto the script's stack: 1 on success;
    // 0 on failure, with the stack cut back to its height before the call.
    virtual int Push2Script(KTwScript* pScript) = 0;
    // Writes the document to a file in text mode. 1 written, 0 when the file cannot be opened.
    virtual int Save(const char* pszFileName) = 0;
    virtual ~IKXmlDocument() = default;
};

// Element getters return null and write nothing when the element or the item is missing.
// Texts returned point into the document and stay valid until it is reloaded or released.
// Navigation returns a new element object owned by the element it was called on.
class IKXmlNode {
public:
    // Text of the first child named pszName (or of this element when pszName is null), as atof.
    virtual const char* GetChildDouble(const char* pszName, double* pdValue) = 0;
    virtual const char* GetChildInt(const char* pszName, int* pnValue) = 0;
    // The text of the target's first child node when that is text; copied into pszBuf
    // (KXML_TEXT_SIZE bytes) when pszBuf is not null.
    virtual const char* GetChildText(const char* pszName, char* pszBuf) = 0;
    // Attribute value; the number outputs receive 0 when the attribute is missing.
    virtual const char* GetAttribDouble(const char* pszName, double* pdValue) = 0;
    virtual const char* GetAttribInt(const char* pszName, int* pnValue) = 0;
    virtual const char* GetAttribText(const char* pszName, char* pszBuf) = 0;
    virtual void SetAttribText(const char* pszName, const char* pszValue) = 0;
    virtual IKXmlNode* GetFirstChild() = 0;
    virtual IKXmlNode* GetFirstChildByName(const char* pszName) = 0;
    virtual IKXmlNode* GetNextSibling() = 0;
    virtual IKXmlNode* GetNextSiblingByName(const char* pszName) = 0;
    virtual const char* GetName(char* pszBuf) = 0;
    virtual void SetAttribDouble(const char* pszName, double dValue) = 0;
    virtual void SetAttribInt(const char* pszName, int nValue) = 0;

protected:
    ~IKXmlNode() = default;
};

// A new empty document; null when allocation fails. nOption and pszEncoding are kept but not
// consulted: every load is byte-oriented.
IKXmlDocument* CreateXMLDocument(int nOption, const char* pszEncoding);
