// The programs' narrow text, portable: UTF-8 in the installer and in the packaging tool alike (the
// tool reads Update.dat into it as the installer does, and writes GBK only when it writes one).
// The checks the two share step through it; the conversions Update.dat needs live here too.
#pragma once

#include <cstddef>
#include <string>

// The code pages Update.dat is read in besides UTF-16: GBK, the installer's own, and UTF-8; and
// the system's own, in which the game keeps its INI files: the ANSI code page (CP_ACP) on
// Windows, GBK, the players' code page, elsewhere.
enum { CODE_PAGE_SYSTEM = 0, CODE_PAGE_GBK = 936, CODE_PAGE_UTF8 = 65001 };

// The bytes of the character that begins at p: 1 for ASCII, the terminating zero or a broken
// sequence. No byte of a longer character is ASCII.
size_t NarrowCharLength(const char* p);

// The length of pszText as the system counts it: UTF-16 units.
size_t NarrowUtf16Length(const char* pszText);

// The bytes of Unicode code point ulCode into *pstrOut; 0 (and *pstrOut left alone) for a
// surrogate or a value beyond Unicode.
int NarrowFromCodePoint(unsigned long ulCode, std::string* pstrOut);

// True when strText is well-formed UTF-8: no broken or overlong sequence, no surrogate, nothing
// beyond U+10FFFF. The system reads any other byte as U+FFFD, so a name holding one names
// another file.
bool IsUtf8Text(const std::string& strText);

// uUnits UTF-16 units in UTF-8. A surrogate without its partner becomes U+FFFD, as the system's
// own converter makes it.
std::string Utf8FromUtf16(const char16_t* pUnits, size_t uUnits);

// uSize bytes of text in code page uCodePage (one of those above, on Windows any the system has)
// in UTF-8 through the platform's converter (ansi_text_win.cpp, ansi_text_posix.cpp); what is not
// text of that code page becomes a replacement character, never dropped.
std::string Utf8FromCodePage(unsigned uCodePage, const char* pBytes, size_t uSize);

// UTF-8 text in code page uCodePage; a character the code page lacks becomes its default
// character, as the system writes it.
std::string CodePageFromUtf8(unsigned uCodePage, const std::string& strUtf8);

// UTF-8 text in UTF-16 units through the platform's converter; a broken sequence becomes U+FFFD.
std::u16string Utf16FromUtf8(const std::string& strUtf8);

// UTF-8 text in GBK; false when a character has no counterpart or the text is not UTF-8.
bool GbkFromUtf8(const std::string& strUtf8, std::string* pstrGbk);

// A name in upper case, as the Windows file system compares names (the platform's case mapping;
// bytes that are not UTF-8 kept as they are).
std::string FoldNameCase(const std::string& strUtf8);
