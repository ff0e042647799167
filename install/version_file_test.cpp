#include "install/version_file.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string s_Utf16Le(const std::string& strAscii) {
    std::string strOut = "\xFF\xFE";
    for (char ch : strAscii)
        strOut += std::string(1, ch) + '\0';
    return strOut;
}

TEST(VersionFile, OnlyTheKeysLineChangesOrOneLineIsAdded) {
    struct KCase {
        std::string strBefore;
        std::string strFound;  // what FindGameVersion reads before; "-" for nothing
        std::string strAfter;  // after velmora.exe is set to 1.3
    };
    const KCase aCases[] = {
        {"[Version]\r\nvelmora.exe=1.2\r\n", "1.2", "[Version]\r\nvelmora.exe=1.3\r\n"},
        // Comments, blanks, LF line ends, other sections and a GBK comment stay as they were.
        {"; \xd7\xa2\xca\xcd\n[ version ]\n\tVelmora.EXE = 1.2  \n\n[Other]\nk = v\n", "1.2",
         "; \xd7\xa2\xca\xcd\n[ version ]\n\tVelmora.EXE = 1.3  \n\n[Other]\nk = v\n"},
        {"[Version]\r\nvelmora.exe=\"1.2\"\r\n", "1.2", "[Version]\r\nvelmora.exe=\"1.3\"\r\n"},
        {"[Version]\r\nvelmora.exe=\r\n", "-", "[Version]\r\nvelmora.exe=1.3\r\n"},
        // The key in the second of two sections of that name counts; another section's does not.
        {"[Version]\r\ngame.exe=1\r\n[Other]\r\nvelmora.exe=9\r\n[Version]\r\nvelmora.exe=1.1.0\r\n", "1.1.0",
         "[Version]\r\ngame.exe=1\r\n[Other]\r\nvelmora.exe=9\r\n[Version]\r\nvelmora.exe=1.3\r\n"},
        // A missing key: one line after the first section's last line, in the file's line end.
        {"[Version]\ngame.exe=1\n\n[Other]\nk=v\n[Version]\n", "-",
         "[Version]\ngame.exe=1\nvelmora.exe=1.3\n\n[Other]\nk=v\n[Version]\n"},
        {"[Version]", "-", "[Version]\r\nvelmora.exe=1.3\r\n"},
        // A missing section: added at the end.
        {"[Other]\nk=v", "-", "[Other]\nk=v\n[Version]\nvelmora.exe=1.3\n"},
        {"", "-", "[Version]\r\nvelmora.exe=1.3\r\n"},
        {"\xEF\xBB\xBF[Version]\r\nvelmora.exe=1.2\r\n", "1.2", "\xEF\xBB\xBF[Version]\r\nvelmora.exe=1.3\r\n"},
        {s_Utf16Le("[Version]\r\nvelmora.exe=1.2\r\n"), "1.2", s_Utf16Le("[Version]\r\nvelmora.exe=1.3\r\n")},
        {s_Utf16Le("[Other]\r\n"), "-", s_Utf16Le("[Other]\r\n[Version]\r\nvelmora.exe=1.3\r\n")},
    };
    for (const KCase& oneCase : aCases) {
        SCOPED_TRACE(oneCase.strBefore);
        std::string strFound = "-";
        FindGameVersion(oneCase.strBefore, "velmora.exe", &strFound);
        EXPECT_EQ(oneCase.strFound, strFound);
        std::string strAfter = SetGameVersion(oneCase.strBefore, "velmora.exe", "1.3");
        EXPECT_EQ(oneCase.strAfter, strAfter);
        // Reading and writing agree on the line.
        ASSERT_TRUE(FindGameVersion(strAfter, "velmora.exe", &strFound));
        EXPECT_EQ("1.3", strFound);
    }
}

}  // namespace
