#include "install/version_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string s_Utf16(const std::string& strAscii, bool bBigEndian = false) {
    std::string strOut = bBigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char ch : strAscii)
        strOut += bBigEndian ? std::string(1, '\0') + ch : std::string(1, ch) + '\0';
    return strOut;
}

// The installer reads and writes the versions by these functions, the packaging tool judges and
// lists them by the same: both read each file alike.
TEST(VersionText, OnlyTheKeysLineChangesOrOneLineIsAdded) {
    struct KCase {
        std::string strBefore;
        std::string strFound;   // what FindGameVersion reads before; "-" for nothing
        std::string strAfter;   // after velmora.exe is set to 1.3
        std::string strListed;  // what ListGameVersions gives before, "key=value;..."
    };
    const KCase aCases[] = {
        {"[Version]\r\nvelmora.exe=1.2\r\n", "1.2", "[Version]\r\nvelmora.exe=1.3\r\n", "velmora.exe=1.2;"},
        // Comments, blanks, LF line ends, other sections and a GBK comment stay as they were.
        {"; \xd7\xa2\xca\xcd\n[ version ]\n\tVelmora.EXE = 1.2  \n\n[Other]\nk = v\n", "1.2",
         "; \xd7\xa2\xca\xcd\n[ version ]\n\tVelmora.EXE = 1.3  \n\n[Other]\nk = v\n", "Velmora.EXE=1.2;"},
        {"[Version]\r\nvelmora.exe=\"1.2\"\r\n", "1.2", "[Version]\r\nvelmora.exe=\"1.3\"\r\n", "velmora.exe=1.2;"},
        {"[Version]\r\nvelmora.exe=\r\n", "-", "[Version]\r\nvelmora.exe=1.3\r\n", "velmora.exe=;"},
        // The key in the second of two sections of that name counts; another section's does not.
        {"[Version]\r\ngame.exe=1\r\n[Other]\r\nvelmora.exe=9\r\n[Version]\r\nvelmora.exe=1.1.0\r\n", "1.1.0",
         "[Version]\r\ngame.exe=1\r\n[Other]\r\nvelmora.exe=9\r\n[Version]\r\nvelmora.exe=1.3\r\n",
         "game.exe=1;velmora.exe=1.1.0;"},
        // The first line of a key counts, in any letter case; a line without a name is no key.
        {"[Version]\r\nVELMORA.exe=1.2\r\nvelmora.exe=1.4\r\n=1\r\ngame.exe='3'\r\n", "1.2",
         "[Version]\r\nVELMORA.exe=1.3\r\nvelmora.exe=1.4\r\n=1\r\ngame.exe='3'\r\n", "VELMORA.exe=1.2;game.exe=3;"},
        // A missing key: one line after the first section's last line, in the file's line end.
        {"[Version]\ngame.exe=1\n\n[Other]\nk=v\n[Version]\n", "-",
         "[Version]\ngame.exe=1\nvelmora.exe=1.3\n\n[Other]\nk=v\n[Version]\n", "game.exe=1;"},
        {"[Version]", "-", "[Version]\r\nvelmora.exe=1.3\r\n", ""},
        // A missing section: added at the end. A name without its "]" is no section.
        {"[Other]\nk=v", "-", "[Other]\nk=v\n[Version]\nvelmora.exe=1.3\n", ""},
        {"[Version\nvelmora.exe=1.2\n", "-", "[Version\nvelmora.exe=1.2\n[Version]\nvelmora.exe=1.3\n", ""},
        {"", "-", "[Version]\r\nvelmora.exe=1.3\r\n", ""},
        // CR alone ends a line too; bytes that are no text of the code page are kept.
        {"; \x81\r[Version]\rvelmora.exe=1.2\r", "1.2", "; \x81\r[Version]\rvelmora.exe=1.3\r", "velmora.exe=1.2;"},
        {"\xEF\xBB\xBF[Version]\r\nvelmora.exe=1.2\r\n", "1.2", "\xEF\xBB\xBF[Version]\r\nvelmora.exe=1.3\r\n", "velmora.exe=1.2;"},
        {s_Utf16("[Version]\r\nvelmora.exe=1.2\r\n"), "1.2", s_Utf16("[Version]\r\nvelmora.exe=1.3\r\n"), "velmora.exe=1.2;"},
        {s_Utf16("[Version]\r\nvelmora.exe=1.2\r\n", true), "1.2", s_Utf16("[Version]\r\nvelmora.exe=1.3\r\n", true), "velmora.exe=1.2;"},
        {s_Utf16("[Other]\r\n"), "-", s_Utf16("[Other]\r\n[Version]\r\nvelmora.exe=1.3\r\n"), ""},
    };
    for (const KCase& oneCase : aCases) {
        SCOPED_TRACE(oneCase.strBefore);
        std::string strFound = "-";
        FindGameVersion(oneCase.strBefore, "velmora.exe", &strFound);
        EXPECT_EQ(oneCase.strFound, strFound);
        std::string strListed;
        for (const auto& key : ListGameVersions(oneCase.strBefore))
            strListed += key.first + "=" + key.second + ";";
        EXPECT_EQ(oneCase.strListed, strListed);
        std::string strAfter = SetGameVersion(oneCase.strBefore, "velmora.exe", "1.3");
        EXPECT_EQ(oneCase.strAfter, strAfter);
        // Reading and writing agree on the line.
        ASSERT_TRUE(FindGameVersion(strAfter, "velmora.exe", &strFound));
        EXPECT_EQ("1.3", strFound);
    }
}

// A key beyond ASCII is written in the file's own encoding, and read back.
TEST(VersionText, AKeyBeyondAsciiTakesTheFilesEncoding) {
    const struct { std::string strKey, strBefore, strAfter; } aCases[] = {
        {u8"界面.exe", "[Version]\r\n", "[Version]\r\n\xbd\xe7\xc3\xe6.exe=1.3\r\n"},
        {u8"界\U0001F600", s_Utf16("[Version]\r\n"),
         s_Utf16("[Version]\r\n") + std::string("\x4c\x75\x3d\xd8\x00\xde", 6) + s_Utf16("=1.3\r\n").substr(2)},
    };
    for (const auto& oneCase : aCases) {
        std::string strAfter = SetGameVersion(oneCase.strBefore, oneCase.strKey, "1.3", CODE_PAGE_GBK), strFound;
        EXPECT_EQ(oneCase.strAfter, strAfter);
        EXPECT_TRUE(FindGameVersion(strAfter, oneCase.strKey, &strFound, CODE_PAGE_GBK) && strFound == "1.3") << strAfter;
    }
}

}  // namespace
