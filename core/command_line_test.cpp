#include "core/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<std::wstring> s_SystemSplit(const std::wstring& wstrLine) {
    std::vector<std::wstring> args;
    int nArgs = 0;
    LPWSTR* ppwszArgs = CommandLineToArgvW(wstrLine.c_str(), &nArgs);
    for (int i = 0; ppwszArgs && i < nArgs; ++i)
        args.push_back(ppwszArgs[i]);
    LocalFree(ppwszArgs);
    return args;
}

}  // namespace

// Lines made of the letters that matter to the rules (blanks, quotes, backslashes) and others,
// split by the system and by SplitCommandLine: the same arguments, the program's name included.
TEST(CommandLineTest, SplitsAsTheSystemDoes) {
    const wchar_t awcLetters[] = {L'a', L' ', L'\t', L'"', L'\\', L'\\', L'"', L'\x4E2D', L'.'};
    std::mt19937 random(20261210);
    for (int nLine = 0; nLine < 5000; ++nLine) {
        std::wstring wstrLine;
        size_t uLen = 1 + random() % 14;
        while (wstrLine.size() < uLen)
            wstrLine += awcLetters[random() % (sizeof(awcLetters) / sizeof(awcLetters[0]))];
        ASSERT_EQ(s_SystemSplit(wstrLine), SplitCommandLine(wstrLine.c_str())) << "line " << testing::PrintToString(wstrLine);
    }
}

// What the installer writes for its own children comes back whole, a trailing backslash and
// blanks included.
TEST(CommandLineTest, QuotedArgumentsComeBackWhole) {
    const std::wstring awstrArguments[] = {L"C:\\Program Files (x86)\\Tarnwick\\", L"D:\\包\\", L"", L"a\\\\", L"x y\tz"};
    std::wstring wstrLine = L"\"C:\\p\\Mendwright.exe\"";
    for (const std::wstring& wstrArgument : awstrArguments)
        wstrLine += L" " + QuoteCommandArgument(wstrArgument);
    std::vector<std::wstring> expected = {L"C:\\p\\Mendwright.exe"};
    expected.insert(expected.end(), std::begin(awstrArguments), std::end(awstrArguments));
    EXPECT_EQ(expected, SplitCommandLine(wstrLine.c_str()));
    EXPECT_EQ(expected, s_SystemSplit(wstrLine));
}
