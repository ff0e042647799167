#include "xml/kxml_document.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "tests/test_support.h"
#include "xml/kxml_element.h"
#include "xml/load_buffer.h"

using mwtest::Ansi;
using mwtest::KLogCapture;
using mwtest::KTempDir;
using mwtest::WriteFileBytes;

namespace {

// Releases a document at the end of a test.
struct KDocHolder {
    IKXmlDocument* pDoc = CreateXMLDocument(0, "gbk");
    ~KDocHolder() {
        if (pDoc)
            pDoc->Release();
    }
};

// The log lines, each reduced to "condition in function" (the source line varies).
std::vector<std::string> Failures(const KLogCapture& log) {
    static const std::regex s_Line("^7\tXRLOG_PROCESS_ERROR\\((.*)\\) at line [0-9]+ in (.*)$");
    std::vector<std::string> result;
    for (const std::string& strLine : log.Lines()) {
        std::smatch match;
        if (std::regex_match(strLine, match, s_Line))
            result.push_back(match[1].str() + " in " + match[2].str());
        else
            result.push_back("unexpected: " + strLine);
    }
    return result;
}

std::string LoadAndDescribe(const std::string& strBytes, int* pnResult) {
    KTempDir dir;
    std::string strFile = dir / "Update.dat";
    WriteFileBytes(strFile, strBytes);
    KDocHolder doc;
    *pnResult = doc.pDoc->Load(strFile.c_str());
    if (!*pnResult)
        return "";
    IKXmlNode* pRoot = doc.pDoc->GetRootElement("Root");
    if (!pRoot)
        return "no Root";
    char szBuf[KXML_TEXT_SIZE] = {0};
    std::string strDescription = pRoot->GetChildText("AppTitle", szBuf) ? szBuf : "(none)";
    for (IKXmlNode* pItem = pRoot->GetFirstChildByName("Item"); pItem; pItem = pItem->GetNextSiblingByName("Item"))
        strDescription += std::string("|") + (pItem->GetChildText(nullptr, szBuf) ? szBuf : "(none)");
    return strDescription;
}

}  // namespace

TEST(KXMLDocumentLoad, EveryEncodingItDeclaresOrMarksReadsTheSame) {
    const std::string strBody = "\r\n<Root>\r\n<AppTitle>塔恩维克 插件</AppTitle>\r\n<Item>界面</Item><Item>二</Item></Root>\r\n";
    const std::string strGbk = "<?xml version=\"1.0\" encoding=\"gbk\"?>" + strBody;
    const std::string strUtf8 = "<?xml version='1.0' encoding = 'UTF-8'?>" + strBody;
    const struct {
        const char* pszName;
        std::string strBytes;
    } cases[] = {
        {"GBK declared", mwtest::Gbk(strGbk)},
        {"GBK, no declaration", mwtest::Gbk(strBody)},
        {"UTF-16 with its mark", mwtest::Utf16WithBom(strGbk)},
        {"UTF-8 declared", strUtf8},
        {"UTF-8 declared, with its mark", "\xEF\xBB\xBF" + strUtf8},
        {"UTF-8 with its mark, no declaration", "\xEF\xBB\xBF" + strBody},
    };
    for (const auto& c : cases) {
        int nResult = 0;
        EXPECT_EQ("塔恩维克 插件|界面|二", LoadAndDescribe(c.strBytes, &nResult)) << c.pszName;
        EXPECT_EQ(1, nResult) << c.pszName;
    }
}

TEST(KXMLDocumentLoad, LineEndsAllParseToTheSameTree) {
    int n1 = 0, n2 = 0, n3 = 0;
    // Character data keeps its line ends, so the normalisation shows.
    std::string strCrLf = LoadAndDescribe("<Root>\r\n<AppTitle><![CDATA[a\r\nb]]></AppTitle><Item><![CDATA[x\ry]]></Item></Root>", &n1);
    std::string strCr = LoadAndDescribe("<Root>\r<AppTitle><![CDATA[a\rb]]></AppTitle><Item><![CDATA[x\ny]]></Item></Root>", &n2);
    std::string strLf = LoadAndDescribe("<Root>\n<AppTitle><![CDATA[a\nb]]></AppTitle><Item><![CDATA[x\ny]]></Item></Root>", &n3);
    EXPECT_EQ("a\nb|x\ny", strLf);
    EXPECT_EQ(strLf, strCrLf);
    EXPECT_EQ(strLf, strCr);
}

TEST(KXMLDocumentLoad, FailuresAreLoggedWithTheirCondition) {
    struct Case {
        const char* pszName;
        std::string strBytes;
        std::vector<std::string> expected;
    };
    const std::string strParse = "m_xmlDoc.LoadBuffer(pszBufRead, nSize, TIXML_ENCODING_LEGACY) in KXMLDocument::Load";
    const Case cases[] = {
        {"BOM only", std::string("\xFF\xFE", 2),
         {"uInLen > 0 in s_Utf16_Ansi", "nSize >= 0 in KXMLDocument::Load"}},
        {"BOM and one byte", std::string("\xFF\xFE<", 3),
         {"uInLen > 0 in s_Utf16_Ansi", "nSize >= 0 in KXMLDocument::Load"}},
        {"encoding it cannot read", "<?xml version=\"1.0\" encoding=\"big5\"?><Root/>",
         {"uCodePage != 0 in KXMLDocument::Load"}},
        {"UTF-8 mark, not well-formed", "\xEF\xBB\xBF<Root>", {strParse}},
        {"not well-formed", "<Root><AppTitle>x</Root>", {strParse}},
        {"empty file", "", {strParse}},
    };
    for (const Case& c : cases) {
        KLogCapture log;
        int nResult = -1;
        LoadAndDescribe(c.strBytes, &nResult);
        EXPECT_EQ(0, nResult) << c.pszName;
        EXPECT_EQ(c.expected, Failures(log)) << c.pszName;
    }
}

TEST(KXMLDocumentLoad, Utf16ThatConvertsToNothingFailsAtTheParse) {
    KLogCapture log;
    int nResult = -1;
    LoadAndDescribe(std::string("\xFF\xFE\x00\x00", 4), &nResult);
    EXPECT_EQ(0, nResult);
    std::vector<std::string> failures = Failures(log);
    ASSERT_FALSE(failures.empty());
    EXPECT_EQ("m_xmlDoc.LoadBuffer(pszBufRead, nSize, TIXML_ENCODING_LEGACY) in KXMLDocument::Load", failures.back());
}

TEST(KXMLDocumentLoad, BadNamesAndMissingFiles) {
    KLogCapture log;
    KDocHolder doc;
    EXPECT_EQ(0, doc.pDoc->Load(nullptr));
    EXPECT_EQ(0, doc.pDoc->Load(""));
    EXPECT_EQ(0, doc.pDoc->Load("C:\\no\\such\\Update.dat"));  // not logged: the engine said no
    EXPECT_EQ(0, doc.pDoc->LoadBuff(nullptr));
    EXPECT_EQ(0, doc.pDoc->LoadBuff(""));
    EXPECT_EQ((std::vector<std::string>{"pszXMLFileName in KXMLDocument::Load", "pszXMLFileName[0] in KXMLDocument::Load",
                                        "pszXMLBuff in KXMLDocument::LoadBuff",
                                        "m_xmlDoc.LoadBuffer(pszXMLBuff, nSize, TIXML_ENCODING_LEGACY) in KXMLDocument::LoadBuff"}),
              Failures(log));
}

TEST(KTiXmlDocument, LoadBufferStopsAtLengthOrZeroAndReportsErrors) {
    KTiXmlDocument doc;
    EXPECT_FALSE(doc.LoadBuffer(nullptr, 5, TIXML_ENCODING_LEGACY));
    EXPECT_STREQ("Failed to open file", doc.ErrorDesc());
    EXPECT_FALSE(doc.LoadBuffer("<a/>", 0, TIXML_ENCODING_LEGACY));
    EXPECT_STREQ("Error document empty.", doc.ErrorDesc());
    // Only the first 6 bytes count: the trailing garbage is never seen.
    ASSERT_TRUE(doc.LoadBuffer("<a>b</a><<<", 8, TIXML_ENCODING_LEGACY));
    EXPECT_STREQ("b", doc.FirstChildElement("a")->GetText());
    ASSERT_TRUE(doc.LoadBuffer(std::string("<c/>\0<<<", 8).c_str(), 8, TIXML_ENCODING_LEGACY));
    EXPECT_NE(nullptr, doc.FirstChildElement("c"));
    EXPECT_EQ(nullptr, doc.FirstChildElement("a"));  // the previous content is gone
}

TEST(KTiXmlDocument, TextsKeepInnerWhiteSpaceAndCharacterReferencesBecomeUtf8) {
    struct KCase {
        const char* pszXml;
        std::string strText;
    };
    const KCase aCases[] = {
        {"<a>two  spaces.txt</a>", "two  spaces.txt"},
        {"<a>\n    pretty \t printed\n  </a>", "pretty \t printed"},
        {"<a>&#x4E2D;&#25991;.lua</a>", "中文.lua"},
        {"<a>&#65;&#x26;&lt;</a>", "A&<"},  // ASCII references stay the parser's
        {"<a>&#xF6;&#x1F600;</a>", "ö😀"},   // outside GBK, inside Unicode
    };
    for (const KCase& oneCase : aCases) {
        SCOPED_TRACE(oneCase.pszXml);
        KTiXmlDocument doc;
        ASSERT_TRUE(doc.LoadBuffer(oneCase.pszXml, static_cast<int>(std::strlen(oneCase.pszXml)), TIXML_ENCODING_LEGACY));
        EXPECT_EQ(oneCase.strText, doc.FirstChildElement("a")->GetText());
    }
}

TEST(KTiXmlDocument, LoadBufferRefusesNestingTooDeepForTheStack) {
    // nDepth levels of strOpen, closed again, between strBefore and strAfter.
    auto Nested = [](int nDepth, const std::string& strOpen, const std::string& strBefore = "",
                     const std::string& strAfter = "") {
        std::string strXml = strBefore;
        for (int i = 0; i < nDepth; ++i)
            strXml += strOpen;
        for (int i = 0; i < nDepth; ++i)
            strXml += "</a>";
        return strXml + strAfter;
    };
    // Deep enough to overflow the stack in the recursive parser when it is not refused.
    const int nHostile = 200000;
    const std::string strLevel = "<a x='>' y=\"<b>\"><b/><!--<a>--><![CDATA[<a>]]>";
    std::string strFlat;
    for (int i = 0; i < 5000; ++i)
        strFlat += "<b></b><c/>";
    struct KCase {
        const char* pszName;
        std::string strXml;
        bool bLoads;
    } aCases[] = {
        {"plain nesting", Nested(nHostile, "<a>"), false},
        // Quotes mean nothing to the parser inside <!...>, <?...>, "<1 ...>" and past an entity
        // it steps over: what follows them is parsed, and counted.
        {"after a quote in <!...>", Nested(nHostile, "<a>", "<!x \"><Root>", "</Root><!x \">"), false},
        {"after a quote in <?...>", Nested(nHostile, "<a>", "<?x \"?><Root>", "</Root><?x \"?>"), false},
        {"after a quote in the declaration", Nested(nHostile, "<a>", "<?xml version='1.0' x=\"?><Root>", "</Root><!x \">"),
         false},
        {"after a quote in <1 ...>", Nested(nHostile, "<a>", "<1 \"><Root>", "</Root><1 \">"), false},
        {"after an entity that swallows a quote", Nested(nHostile, "<a>", "<Root y=\"&#\"#;\">", "</Root>\""), false},
        // Siblings, empty elements, comments, CDATA and quoted '>' do not count as levels.
        {"one level past the limit", "<a>" + Nested(1000, strLevel) + "</a>", false},
        {"at the limit", Nested(1000, strLevel), true},
        {"at the limit after quotes in <!...>", Nested(999, "<a>", "<!x \"><Root>", "</Root><!x \">"), true},
        {"flat", "<a>" + strFlat + "</a>", true},
    };
    for (const KCase& oneCase : aCases) {
        KTiXmlDocument doc;
        EXPECT_EQ(oneCase.bLoads, doc.LoadBuffer(oneCase.strXml.c_str(), static_cast<int>(oneCase.strXml.size()),
                                                 TIXML_ENCODING_LEGACY))
            << oneCase.pszName << ": " << (doc.ErrorDesc() ? doc.ErrorDesc() : "");
        EXPECT_EQ(!oneCase.bLoads, doc.Error()) << oneCase.pszName;
    }
}

TEST(KXmlElement, GettersFollowTheirContracts) {
    KDocHolder doc;
    ASSERT_EQ(1, doc.pDoc->LoadBuff("<Root n=\"42\" d=\"2.5\" e=\"\"><A>7</A><B><C/>tail</B><D><![CDATA[x<y]]></D>"
                                     "<A>second</A>own</Root>"));
    IKXmlNode* pRoot = doc.pDoc->GetRootElement("Root");
    ASSERT_NE(nullptr, pRoot);
    EXPECT_EQ(nullptr, doc.pDoc->GetRootElement("root"));  // names are case-sensitive

    char szBuf[KXML_TEXT_SIZE];
    EXPECT_STREQ("7", pRoot->GetChildText("A", szBuf));
    EXPECT_STREQ("7", szBuf);
    EXPECT_EQ(nullptr, pRoot->GetChildText("B", szBuf));  // first child is an element
    EXPECT_STREQ("x<y", pRoot->GetChildText("D", nullptr));
    EXPECT_EQ(nullptr, pRoot->GetChildText(nullptr, nullptr));  // first child of Root is <A>

    int nValue = -5;
    EXPECT_EQ(nullptr, pRoot->GetChildInt("Missing", &nValue));
    EXPECT_EQ(-5, nValue);  // left unchanged
    EXPECT_STREQ("7", pRoot->GetChildInt("A", &nValue));
    EXPECT_EQ(7, nValue);
    double dValue = 0;
    EXPECT_STREQ("2.5", pRoot->GetAttribDouble("d", &dValue));
    EXPECT_DOUBLE_EQ(2.5, dValue);
    EXPECT_EQ(nullptr, pRoot->GetAttribInt("missing", &nValue));
    EXPECT_EQ(0, nValue);  // a missing attribute gives 0
    EXPECT_STREQ("", pRoot->GetAttribText("e", szBuf));

    pRoot->SetAttribInt("n", -3);
    pRoot->SetAttribDouble("big", 1e300);  // wider than any small buffer
    pRoot->SetAttribText("s", "v");
    EXPECT_STREQ("-3", pRoot->GetAttribText("n", nullptr));
    EXPECT_STREQ("v", pRoot->GetAttribText("s", nullptr));
    EXPECT_EQ(308u, strlen(pRoot->GetAttribText("big", nullptr)));

    IKXmlNode* pSecond = pRoot->GetFirstChildByName("A")->GetNextSiblingByName("A");
    ASSERT_NE(nullptr, pSecond);
    EXPECT_STREQ("second", pSecond->GetChildText(nullptr, nullptr));
    EXPECT_STREQ("B", pRoot->GetFirstChild()->GetNextSibling()->GetName(szBuf));
    EXPECT_EQ(nullptr, pSecond->GetNextSibling());
}

TEST(KXmlElement, LongTextsAreCutOnACharacterBoundary) {
    // 1 + 3 * 4999 + 1 bytes: an ASCII letter, then three-byte characters, so a cut at 779
    // bytes would fall inside a character.
    std::string strLong = "a" + std::string();
    for (int i = 0; i < 4999; ++i)
        strLong += "界";
    strLong += "z";
    ASSERT_EQ(14999u, strLong.size());
    KDocHolder doc;
    ASSERT_EQ(1, doc.pDoc->LoadBuff(("<Root><T>" + strLong + "</T></Root>").c_str()));
    char szBuf[KXML_TEXT_SIZE + 16];
    memset(szBuf, 'X', sizeof(szBuf));
    const char* pszText = doc.pDoc->GetRootElement("Root")->GetChildText("T", szBuf);
    ASSERT_NE(nullptr, pszText);
    EXPECT_EQ(14999u, strlen(pszText));  // the caller can see the text was longer
    EXPECT_EQ(778u, strlen(szBuf));      // 1 + 259 whole characters
    EXPECT_EQ(strLong.substr(0, 778), std::string(szBuf));
    for (size_t i = KXML_TEXT_SIZE; i < sizeof(szBuf); ++i)
        EXPECT_EQ('X', szBuf[i]) << "byte " << i << " written past the buffer";
}

TEST(KXmlElement, ManyWrappersOneRelease) {
    // Walking a long sibling list builds an ownership chain as long as the list; releasing the
    // document must free it without running out of stack.
    std::string strXml = "<Root><List>";
    for (int i = 0; i < 200000; ++i)
        strXml += "<F/>";
    strXml += "</List></Root>";
    IKXmlDocument* pDoc = CreateXMLDocument(0, "a-very-long-encoding-name-that-does-not-fit-in-32");
    ASSERT_EQ(1, pDoc->LoadBuff(strXml.c_str()));
    IKXmlNode* pFirst = pDoc->GetRootElement("Root");
    IKXmlNode* pSecond = pDoc->GetRootElement("Root");
    EXPECT_NE(pFirst, pSecond);  // each call hands out its own object
    int nCount = 0;
    for (IKXmlNode* pFile = pFirst->GetFirstChildByName("List")->GetFirstChildByName("F"); pFile;
         pFile = pFile->GetNextSiblingByName("F"))
        ++nCount;
    EXPECT_EQ(200000, nCount);
    EXPECT_EQ(0, pDoc->Release());
}

TEST(KXMLDocumentSave, WritesTheTreeBack) {
    KTempDir dir;
    KDocHolder doc;
    ASSERT_EQ(1, doc.pDoc->LoadBuff("<Root a=\"1\"><B>text</B></Root>"));
    doc.pDoc->GetRootElement("Root")->SetAttribText("c", "2");
    ASSERT_EQ(1, doc.pDoc->Save((dir / "out.xml").c_str()));
    EXPECT_EQ(0, doc.pDoc->Save((dir / "no\\such\\folder\\out.xml").c_str()));
    KDocHolder again;
    ASSERT_EQ(1, again.pDoc->Load((dir / "out.xml").c_str()));
    IKXmlNode* pRoot = again.pDoc->GetRootElement("Root");
    EXPECT_STREQ("2", pRoot->GetAttribText("c", nullptr));
    EXPECT_STREQ("text", pRoot->GetChildText("B", nullptr));
}
