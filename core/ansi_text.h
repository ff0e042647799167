// A program's narrow text, portable: UTF-8 in the installer (its text inside, converted where it
// meets the system), GBK in the packaging tool (the bytes of Update.dat, which it writes and
// reads as they are). The installer's checks shared with the packaging tool step through it.
#pragma once

#include <cstddef>
#include <string>

enum KNarrowText { NARROW_UTF8, NARROW_GBK };

// The narrow text of this program; set once at start, before any other call. By default UTF-8 on
// Windows (the installer) and GBK elsewhere (the packaging tool).
void SetNarrowText(KNarrowText eText);
KNarrowText GetNarrowText();

// The bytes of the character that begins at p: 1 for ASCII, the terminating zero or a broken
// sequence. No byte of a longer character is ASCII in either text.
size_t NarrowCharLength(const char* p);

// The length of pszText as the system counts it: UTF-16 units.
size_t NarrowUtf16Length(const char* pszText);

// The bytes of Unicode code point ulCode into *pstrOut; 0 (and *pstrOut left alone) when the
// narrow text cannot hold it.
int NarrowFromCodePoint(unsigned long ulCode, std::string* pstrOut);

// GBK's bytes of ulCode: the platform's converter (ansi_text_win.cpp, ansi_text_gbk.cpp).
int GbkFromCodePoint(unsigned long ulCode, std::string* pstrOut);
