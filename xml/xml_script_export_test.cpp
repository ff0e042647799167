#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"
#include "xml/engine_api.h"
#include "xml/xml_document.h"

namespace {

// Loads pszXml, exports it, and describes the table on top of the stack with Lua code.
struct KExport {
    KTwScript script;
    IKXmlDocument* pDoc = CreateXMLDocument(0, "gbk");
    ~KExport() { pDoc->Release(); }

    int Push(const char* pszXml) { return pDoc->LoadBuff(pszXml) ? pDoc->Push2Script(&script) : -1; }

    // Renders a table as name[value]{attributes}(children), attributes sorted by name.
    std::string Describe() {
        static const char s_szDescribe[] =
            "local t = ...\n"
            "local function d(e)\n"
            "  local keys = {}\n"
            "  for k in pairs(e.attrib) do keys[#keys + 1] = k end\n"
            "  table.sort(keys)\n"
            "  local a = {}\n"
            "  for _, k in ipairs(keys) do a[#a + 1] = k .. '=' .. e.attrib[k] end\n"
            "  local c = {}\n"
            "  for i, child in ipairs(e.children) do c[i] = d(child) end\n"
            "  local n = 0\n"
            "  for _ in pairs(e) do n = n + 1 end\n"
            "  assert(n == 4, 'exactly four fields')\n"
            "  return e.name .. '[' .. e.value .. ']{' .. table.concat(a, ',') .. '}(' .. table.concat(c, ' ') .. ')'\n"
            "end\n"
            "return d(t)\n";
        char szResult[4096];
        if (!script.RunOnTop(s_szDescribe, szResult, sizeof(szResult)))
            return std::string("lua error: ") + szResult;
        return szResult;
    }
};

}  // namespace

TEST(Push2Script, ExportsElementsAsNestedTables) {
    KExport e;
    ASSERT_EQ(1, e.Push("<a x=\"1\">hi<b/>tail</a>"));
    EXPECT_EQ(1, e.script.GetTopIndex());
    EXPECT_EQ("a[hi]{x=1}(b[]{}())", e.Describe());
}

TEST(Push2Script, ValueIsEmptyWhenTheFirstChildIsAnElement) {
    KExport e;
    ASSERT_EQ(1, e.Push("<a><b/>text</a>"));
    EXPECT_EQ("a[]{}(b[]{}())", e.Describe());
}

TEST(Push2Script, KeepsOrderAttributesAndBytes) {
    KExport e;
    std::string strXml = "<?xml version=\"1.0\"?><!-- c --><Root v=\"\" w=\"" + std::string("界") +
                         "\"><x>1</x><!-- skip --><y><z><![CDATA[q]]></z></y><x>2</x></Root><Other/>";
    ASSERT_EQ(1, e.Push(strXml.c_str()));
    EXPECT_EQ("Root[]{v=,w=" + mwtest::Gbk("界") + "}(x[1]{}() y[]{}(z[q]{}()) x[2]{}())", e.Describe());
}

TEST(Push2Script, FailureLeavesTheStackAsItWas) {
    KExport e;
    e.script.PushString("below");
    ASSERT_EQ(1, e.script.GetTopIndex());
    mwtest::KLogCapture log;
    // A document without any element: nothing to export.
    EXPECT_EQ(0, e.Push("<!-- only a comment -->"));
    EXPECT_EQ(1, e.script.GetTopIndex());
    ASSERT_EQ(1u, log.Lines().size());
    EXPECT_NE(std::string::npos, log.Lines()[0].find("(pcElement) at line"));
    EXPECT_NE(std::string::npos, log.Lines()[0].find("in KXMLDocument::Push2Script"));
    EXPECT_EQ(0, e.pDoc->Push2Script(nullptr));
}

TEST(Push2Script, DeepAndWideDocumentsExportCompletely) {
    KExport e;
    std::string strXml;
    for (int i = 0; i < 100; ++i)
        strXml += "<n>";
    strXml += "leaf";
    for (int i = 0; i < 100; ++i)
        strXml += "</n>";
    ASSERT_EQ(1, e.Push(strXml.c_str()));
    char szDepth[64];
    ASSERT_TRUE(e.script.RunOnTop("local t, d = ..., 1 while t.children[1] do t = t.children[1] d = d + 1 end "
                                  "return d .. ':' .. t.value",
                                  szDepth, sizeof(szDepth)));
    EXPECT_STREQ("100:leaf", szDepth);
}
