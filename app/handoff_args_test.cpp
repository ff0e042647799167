// Package names of the unattended start, taken from the command line.
#include "app/handoff_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/win_text.h"
#include "tests/test_support.h"


namespace {

std::vector<std::string> s_Names(const wchar_t* pwszCommandLine) {
    std::vector<std::string> names;
    for (const KResourceEntry& entry : HandoffListFromCommandLine(pwszCommandLine)) {
        names.push_back(entry.szName);
        EXPECT_EQ(entry.szTitle[0], '\0');
        EXPECT_EQ(entry.nInstall, 0);
        EXPECT_TRUE(entry.KeyList.empty());
    }
    return names;
}

TEST(HandoffArgsTest, NoArgumentsGiveAnEmptyList) {
    EXPECT_TRUE(s_Names(L"\"C:\\game\\Mendwright.exe\"").empty());
    EXPECT_TRUE(s_Names(L"Mendwright.exe   ").empty());
    EXPECT_TRUE(s_Names(L"").empty());
    EXPECT_TRUE(s_Names(nullptr).empty());
}

TEST(HandoffArgsTest, EachArgumentNamesOnePackageInOrder) {
    std::vector<std::string> expected = {"art_pack", "ui pack 2", std::string(u8"地图资源")};
    EXPECT_EQ(s_Names(L"Mendwright.exe art_pack \"ui pack 2\" \u5730\u56fe\u8d44\u6e90"), expected);
}

TEST(HandoffArgsTest, NamesThatWouldLeaveTheTemporaryFolderAreLeftOut) {
    // The handoff file is <temp>\<name>.ini, deleted on quit: only plain names may pass.
    EXPECT_EQ(s_Names(L"m ..\\..\\boot a/b C:x c:\\x.ini \\\\server\\share . .. \"\" ok"),
              std::vector<std::string>{"ok"});
    EXPECT_EQ(s_Names(L"m \"a*b\" \"a?b\" \"a<b\" \"a>b\" \"a|b\" \"a\tb\" good"), std::vector<std::string>{"good"});
    // Device names would make the handoff file a device, wherever the temporary folder is.
    EXPECT_EQ(s_Names(L"m CON nul Com1 lpt9.txt \"AUX \" console com10"),
              (std::vector<std::string>{"console", "com10"}));
}

TEST(HandoffArgsTest, OverLongAndUnrepresentableNamesAreLeftOut) {
    std::wstring wstrLongest(127, L'n');
    std::wstring wstrTooLong(128, L'n');
    std::wstring wstrLine = L"m " + wstrTooLong + L" " + wstrLongest;
    EXPECT_EQ(s_Names(wstrLine.c_str()), std::vector<std::string>{std::string(127, 'n')});
    // 64 characters of two bytes each do not fit 128 bytes with the NUL.
    std::wstring wstrWide(64, L'\u5730');
    EXPECT_TRUE(s_Names((L"m " + wstrWide).c_str()).empty());
    // A character the ANSI code page lacks would come out as '?'.
    EXPECT_EQ(s_Names(L"m \U0001F600pack pack"), std::vector<std::string>{"pack"});
}

TEST(HandoffArgsTest, TrailBytesThatLookLikeASeparatorAreNoSeparator) {
    // U+4E57 is 0x81 0x5C in GBK: its second byte has the value of a backslash.
    std::string strName = std::string(u8"乗");
    ASSERT_EQ(Utf8ToCodePage(CP_GBK, strName), "\x81\x5C");
    EXPECT_EQ(IsHandoffName(strName.c_str()), 1);
    EXPECT_EQ(s_Names(L"m \u4e57"), std::vector<std::string>{strName});
    EXPECT_EQ(IsHandoffName("a\\b"), 0);
    EXPECT_EQ(IsHandoffName(""), 0);
    EXPECT_EQ(IsHandoffName(nullptr), 0);
}

}  // namespace
