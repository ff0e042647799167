#include "install/ini_file.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "core/win_text.h"
#include "tests/test_support.h"

using mwtest::Ansi;
using mwtest::WriteFileBytes;

namespace {

// The system's profile functions are the reference: KIniFile must answer every lookup as they do.
class IniFileTest : public ::testing::Test {
protected:
    std::string Write(const std::string& strBytes) {
        // A new name per file: the profile functions keep recently read files in a cache.
        std::string strPath = m_Dir / ("f" + std::to_string(m_nFiles++) + ".ini");
        EXPECT_TRUE(WriteFileBytes(strPath, strBytes));
        return strPath;
    }

    // The system's answers through the wide profile functions, in UTF-8 as KIniFile answers.
    static std::vector<std::string> SystemSectionNames(const std::string& strPath) {
        std::vector<wchar_t> buffer(1 << 16, L'\0');
        DWORD dwLen = GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(buffer.size()),
                                                     Utf8ToWide(strPath).c_str());
        std::vector<std::string> names;
        for (const wchar_t* p = buffer.data(); p < buffer.data() + dwLen && *p; p += wcslen(p) + 1)
            names.push_back(WideToUtf8(p));
        return names;
    }

    // Every lookup of the given sections and keys answered by KIniFile as by the system.
    static void ExpectSameAnswers(const std::string& strPath, const std::vector<std::string>& sections,
                                  const std::vector<std::string>& keys) {
        KIniFile ini;
        ASSERT_EQ(1, ini.Load(strPath.c_str()));
        EXPECT_EQ(SystemSectionNames(strPath), ini.SectionNames());
        for (const std::string& strSection : sections) {
            int nSection = ini.FindSection(strSection.c_str());
            for (const std::string& strKey : keys) {
                EXPECT_EQ(GetProfileTextU8(strSection.c_str(), strKey.c_str(), "dflt", strPath.c_str(), 1 << 16),
                          ini.GetText(nSection, strKey.c_str(), "dflt"))
                    << "[" << strSection << "] " << strKey;
                EXPECT_EQ(static_cast<int>(GetPrivateProfileIntW(Utf8ToWide(strSection).c_str(), Utf8ToWide(strKey).c_str(),
                                                                 77, Utf8ToWide(strPath).c_str())),
                          ini.GetInt(nSection, strKey.c_str(), 77))
                    << "[" << strSection << "] " << strKey << " as a number";
            }
        }
    }

    mwtest::KTempDir m_Dir;
    int m_nFiles = 0;
};

std::string s_Tricky() {
    return "lead=before any section\r\n"
           "  [ Spaced Name ]  \r\n"
           "\tkey one = value one \t\r\n"
           "quoted=\"in quotes\"\r\n"
           "single='single'\r\n"
           "mixed=\"mixed'\r\n"
           "lonequote=\"\r\n"
           "emptyquotes=\"\"\r\n"
           "novalue\r\n"
           "empty=\r\n"
           ";comment=not a key\r\n"
           "dup=first\r\n"
           "DUP=second\r\n"
           "[spaced name]\r\n"
           "dup=from the second section of the name\r\n"
           "extra=only here\r\n"
           "[noclose\r\n"
           "[a]b]\r\n"
           "x=1\r\n"
           "[]\r\n"
           "=\r\n"
           "=\r\n"
           "hidden=in the nameless section\r\n"
           "[Numbers]\rplain=12\rspaced=  +7 \nneg=-3\n"
           "hex=0x1f\r\nupperhex=0X1f\r\nbin=0b101\r\noct=0o17\r\ntrail=12abc\r\nword=abc\r\n"
           "wrap=99999999999\r\nquotednum=\"42\"\r\n"
           "long='12345678901234567890123456789012345'\r\n"
           "eof=5\x1a\r\n"
           "[" + Ansi(u8"美术Ａ") + "]\r\n" +
           Ansi(u8"标题") + "=" + Ansi(u8"美术资源包") + "\r\n"
           "\r\n\r\n[last]\r\nk=v";
}

std::vector<std::string> s_TrickySections() {
    return {"Spaced Name", "  spaced NAME ", "a]b", "a", "noclose", "", "Numbers", "numbers", u8"美术Ａ",
            u8"美术ａ", "last", "missing"};
}

std::vector<std::string> s_TrickyKeys() {
    return {"key one", " KEY ONE ", "quoted", "single", "mixed", "lonequote", "emptyquotes", "novalue", "empty",
            ";comment", "dup", "extra", "x", "hidden", "lead", "[noclose", "plain", "spaced", "neg", "hex",
            "upperhex", "bin", "oct", "trail", "word", "wrap", "quotednum", "long", "eof", u8"标题", "k",
            "absent"};
}

}  // namespace

TEST_F(IniFileTest, AnswersAsTheProfileFunctionsForAnsiText) {
    ExpectSameAnswers(Write(s_Tricky()), s_TrickySections(), s_TrickyKeys());
}

TEST_F(IniFileTest, AnswersAsTheProfileFunctionsForUnicodeText) {
    // The same text stored as UTF-8 and as UTF-16, each with its byte-order mark.
    std::string strAnsi = s_Tricky();
    int nWide = MultiByteToWideChar(CP_ACP, 0, strAnsi.data(), static_cast<int>(strAnsi.size()), nullptr, 0);
    std::wstring wstrText(static_cast<size_t>(nWide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, strAnsi.data(), static_cast<int>(strAnsi.size()), &wstrText[0], nWide);
    int nUtf8 = WideCharToMultiByte(CP_UTF8, 0, wstrText.data(), nWide, nullptr, 0, nullptr, nullptr);
    std::string strUtf8(static_cast<size_t>(nUtf8), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wstrText.data(), nWide, &strUtf8[0], nUtf8, nullptr, nullptr);
    ExpectSameAnswers(Write("\xEF\xBB\xBF" + strUtf8), s_TrickySections(), s_TrickyKeys());
    std::string strUtf16 = "\xFF\xFE";
    strUtf16.append(reinterpret_cast<const char*>(wstrText.data()), wstrText.size() * sizeof(wchar_t));
    ExpectSameAnswers(Write(strUtf16), s_TrickySections(), s_TrickyKeys());
}

TEST_F(IniFileTest, EmptyMissingAndUnreadableFiles) {
    ExpectSameAnswers(Write(""), {"a", ""}, {"k"});
    KIniFile ini;
    EXPECT_EQ(1, ini.Load((m_Dir / "absent.ini").c_str()));
    EXPECT_EQ(1, ini.Load((m_Dir / "no\\such\\folder\\x.ini").c_str()));
    EXPECT_TRUE(ini.SectionNames().empty());
    EXPECT_EQ(-1, ini.FindSection("a"));
    EXPECT_EQ("d", ini.GetText(-1, "k", "d"));
    EXPECT_EQ(5, ini.GetInt(-1, "k", 5));

    // Held open without sharing by another handle: the file exists but cannot be read.
    std::string strPath = Write("[a]\r\nk=v\r\n");
    ASSERT_EQ(1, ini.Load(strPath.c_str()));
    EXPECT_EQ("v", ini.GetText(ini.FindSection("a"), "k"));
    HANDLE hHeld = CreateFileA(strPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    EXPECT_EQ(0, ini.Load(strPath.c_str()));
    EXPECT_TRUE(ini.SectionNames().empty());
    CloseHandle(hHeld);
}

TEST_F(IniFileTest, ParsesWithoutAFile) {
    KIniFile ini;
    ini.Parse("[One]\r\nk=1\r\n[two]\r\n[ONE]\r\nk=2\r\n");
    EXPECT_EQ((std::vector<std::string>{"One", "two", "ONE"}), ini.SectionNames());
    EXPECT_EQ(0, ini.FindSection(""));
    EXPECT_EQ(1, ini.FindSection("one"));
    EXPECT_EQ(1, ini.GetInt(ini.FindSection("ONE"), "K", 0));
    EXPECT_EQ(2, ini.FindSection("Two"));
    EXPECT_EQ(L"abc\uff21", KIniFile::FoldName(L"ABC\uff21"));
    EXPECT_EQ(L"one", FoldSectionName(" One\t"));
}
