// The text boundary: UTF-8 inside, UTF-16 for the wide calls, code pages where ANSI programs and
// GBK files are met, and the engine library's ANSI paths.
#include "core/win_text.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace {

// Hangul: in none of the ANSI code pages the tests run under (936, 1252, 932).
const char* const s_pszOutsideEveryCodePage = u8"지도";

TEST(WinText, Utf8AndUtf16AreTheSameTextWithSurrogatePairsWhole) {
    const std::string strText = u8"塔恩维克 😀.lua";
    std::wstring wstrText = Utf8ToWide(strText);
    EXPECT_EQ(wstrText, L"\u5854\u6069\u7ef4\u514b \U0001F600.lua");
    EXPECT_EQ(wstrText.size(), Utf16Length(strText.c_str()));
    EXPECT_EQ(WideToUtf8(wstrText.c_str()), strText);
    EXPECT_EQ(Utf8ToWide(static_cast<const char*>(nullptr)), L"");
    EXPECT_EQ(Utf16Length(nullptr), 0u);
}

TEST(WinText, GbkBothWaysAndTheCharactersItLacks) {
    bool bExact = false;
    EXPECT_EQ(Utf8ToCodePage(CP_GBK, u8"小地图.lua", &bExact), "\xD0\xA1\xB5\xD8\xCD\xBC.lua");
    EXPECT_TRUE(bExact);
    EXPECT_EQ(CodePageToUtf8(CP_GBK, "\xD0\xA1\xB5\xD8\xCD\xBC.lua"), u8"小地图.lua");
    EXPECT_EQ(Utf8ToCodePage(CP_GBK, std::string(u8"Straße_") + s_pszOutsideEveryCodePage, &bExact), "Stra?e_??");
    EXPECT_FALSE(bExact);
}

TEST(WinText, PathLimitCountsUtf16UnitsNotBytes) {
    EXPECT_TRUE(FitsMaxPath("C:\\" + std::string(256, 'a')));
    EXPECT_FALSE(FitsMaxPath("C:\\" + std::string(257, 'a')));
    // 259 units in 771 bytes: what fits the system fits here, whatever the bytes.
    std::string strChinese = "C:\\";
    for (int i = 0; i < 256; ++i)
        strChinese += u8"塔";
    EXPECT_TRUE(FitsMaxPath(strChinese));
    EXPECT_FALSE(FitsMaxPath(strChinese + u8"塔"));
}

TEST(WinText, EnginePathsAreTheSystemsAnsiTextOrTheShortFormOrNone) {
    mwtest::KTempDir dir;
    // A path the code page can write is given as it is.
    std::string strPlain = dir / "Update.dat";
    EXPECT_EQ(SystemAnsiPath(strPlain), Utf8ToCodePage(CP_ACP, strPlain));

    // One it cannot write: the short form of its existing part, which an ANSI call opens.
    std::string strFolder = dir / s_pszOutsideEveryCodePage;
    ASSERT_TRUE(mwtest::MakeFolders(strFolder));
    ASSERT_TRUE(mwtest::WriteFileBytes(strFolder + "\\Update.dat", "<Root/>"));
    std::string strShort = SystemAnsiPath(strFolder + "\\Update.dat");
    ASSERT_FALSE(strShort.empty());
    EXPECT_EQ(strShort.find('?'), std::string::npos) << strShort;
    HANDLE hFile = CreateFileA(strShort.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE) << strShort;
    char szBytes[16] = {0};
    DWORD dwRead = 0;
    ReadFile(hFile, szBytes, sizeof(szBytes) - 1, &dwRead, nullptr);
    CloseHandle(hFile);
    EXPECT_STREQ(szBytes, "<Root/>");
    // A missing file after it keeps its name.
    EXPECT_EQ(SystemAnsiPath(strFolder + "\\new.lua"),
              strShort.substr(0, strShort.rfind('\\')) + "\\new.lua");

    // No existing part to shorten where the code page fails: none.
    EXPECT_EQ(SystemAnsiPath(strFolder + "\\" + s_pszOutsideEveryCodePage + "\\x.lua"), "");
}

}  // namespace
