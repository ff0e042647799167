// An INI file read whole into memory once and looked up the way the system's profile functions
// (GetPrivateProfileStringA, GetPrivateProfileIntA, GetPrivateProfileSectionNamesA) look it up,
// without a system call per key: a game's resource list has thousands of sections.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

class KIniFile {
public:
    // Reads pszPath whole and parses it: text in the ANSI code page, or UTF-8 / UTF-16 with a
    // byte-order mark. 1 when the file was read or does not exist (an empty file), 0 when it
    // exists but cannot be read (then the object is empty too).
    int Load(const char* pszPath);
    // Parses the bytes of a file as Load does.
    void Parse(const std::string& strBytes);

    // Every named section in file order, in UTF-8, as the section-name list of the
    // profile functions gives them (a name that occurs twice is listed twice).
    const std::vector<std::string>& SectionNames() const { return m_SectionNames; }
    // The section that lookups by pszName reach: the first one of that name, compared without
    // case and with surrounding blanks ignored; -1 when there is none.
    int FindSection(const char* pszName) const;
    // The value of pszKey in section nSection (from FindSection) in UTF-8, with one
    // pair of enclosing quotes removed; pszDefault (null as "") when the key is missing or has no
    // "=", or when the value is empty.
    std::string GetText(int nSection, const char* pszKey, const char* pszDefault = "") const;
    // The value read as an integer like GetPrivateProfileIntA: blanks, a sign, an optional 0x, 0o
    // or 0b prefix, digits up to the first other character, wrapping at 32 bits; nDefault when
    // the value is missing or empty.
    int GetInt(int nSection, const char* pszKey, int nDefault) const;

    // The form in which two section or key names compare equal when they differ only in the case
    // of ASCII letters.
    static std::wstring FoldName(const std::wstring& wstrName);

private:
    struct KKey {
        std::wstring wstrFolded;
        std::wstring wstrValue;
        bool bHasValue;
    };
    struct KSection {
        std::vector<KKey> keys;
    };
    // The value as the profile functions hand it out (quotes removed); null when there is none.
    const std::wstring* FindValue(int nSection, const char* pszKey) const;

    std::vector<KSection> m_Sections;
    std::vector<std::string> m_SectionNames;
    std::unordered_map<std::wstring, int> m_FirstSection;  // folded name -> section index
};

// The UTF-8 pszName as UTF-16, surrounding blanks removed, folded (KIniFile::FoldName):
// the form in which the profile functions compare section names.
std::wstring FoldSectionName(const char* pszName);
