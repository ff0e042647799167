// How Update.dat's bytes are read, one table for both platforms: the installer (Windows, the
// system's converters) and the packaging tool (Linux, iconv) must read each the same.
#include "xml/description_text.h"

#include <gtest/gtest.h>

#include <string>

#include "core/ansi_text.h"
#include "xml/load_buffer.h"

namespace {

const std::string s_strBefore = "<Root><FileList><File><FilePath>\\</FilePath><FileName>";
const std::string s_strAfter = "</FileName></File></FileList></Root>";

// A description of one file named strName, after strDeclaration.
std::string s_Description(const std::string& strDeclaration, const std::string& strName) {
    return strDeclaration + s_strBefore + strName + s_strAfter;
}

// The same in UTF-16 LE with its mark; u16Name is the name's code units as they are.
std::string s_Utf16(const std::u16string& u16Name) {
    std::u16string u16Text;
    for (char ch : s_strBefore)
        u16Text += static_cast<char16_t>(ch);
    u16Text += u16Name;
    for (char ch : s_strAfter)
        u16Text += static_cast<char16_t>(ch);
    std::string strBytes = "\xFF\xFE";
    for (char16_t unit : u16Text) {
        strBytes += static_cast<char>(unit & 0xFF);
        strBytes += static_cast<char>(unit >> 8);
    }
    return strBytes;
}

}  // namespace

TEST(DescriptionText, EveryEncodingIsReadAsTheInstallerReadsIt) {
    const std::string strGbkName = "\xCB\xB5\xC3\xF7.txt";  // 说明.txt in GBK
    const std::string strName = u8"说明.txt";
    struct KCase {
        const char* pszName;
        std::string strBytes;
        bool bRead;
        std::string strFileName;  // as the parse gives it
    } aCases[] = {
        {"GBK declared", s_Description("<?xml version=\"1.0\" encoding=\"gbk\"?>", strGbkName), true, strName},
        {"GBK, no declaration", s_Description("", strGbkName), true, strName},
        {"GB2312 declared", s_Description("<?xml version='1.0' encoding='GB2312'?>", strGbkName), true, strName},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + s_Description("", strName), true, strName},
        {"UTF-8 declared", s_Description("<?xml version=\"1.0\" encoding=\"utf-8\"?>", strName), true, strName},
        // Read as declared: the GBK bytes stay, and no UTF-8 reader finds such a name.
        {"GBK bytes declared UTF-8", s_Description("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", strGbkName), true,
         strGbkName},
        {"ISO-8859-1 declared", s_Description("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", "a.txt"), false, ""},
        {"Big5 declared", s_Description("<?xml version=\"1.0\" encoding=\"big5\"?>", "a.txt"), false, ""},
        {"beyond U+FFFF by reference", s_Description("", "&#x1F600;.txt"), true, u8"\U0001F600.txt"},
        {"UTF-16", s_Utf16(u"\u8BF4\u660E.txt"), true, strName},
        {"UTF-16 pair", s_Utf16(u"\U0001F600.txt"), true, u8"\U0001F600.txt"},
        {"UTF-16 lone surrogate", s_Utf16(std::u16string(u"x") + static_cast<char16_t>(0xD800) + u".txt"), true,
         u8"x\uFFFD.txt"},
        {"UTF-16 mark alone", "\xFF\xFE", false, ""},
        {"a zero byte ends a GBK text", s_Description("", "a.txt") + std::string(1, '\0') + "<<", true, "a.txt"},
    };
    for (const KCase& oneCase : aCases) {
        SCOPED_TRACE(oneCase.pszName);
        std::string strText;
        ASSERT_EQ(oneCase.bRead, DescriptionToUtf8(oneCase.strBytes.data(), oneCase.strBytes.size(), CODE_PAGE_GBK, &strText));
        if (!oneCase.bRead)
            continue;
        KTiXmlDocument doc;
        ASSERT_TRUE(doc.LoadBuffer(strText.c_str(), static_cast<int>(strText.size()), TIXML_ENCODING_LEGACY))
            << doc.ErrorDesc();
        const TiXmlElement* pName = doc.FirstChildElement("Root")->FirstChildElement("FileList")->FirstChildElement("File")->FirstChildElement("FileName");
        EXPECT_EQ(oneCase.strFileName, pName->GetText());
        EXPECT_EQ(oneCase.strFileName != strGbkName, IsUtf8Text(pName->GetText()));
    }
}
