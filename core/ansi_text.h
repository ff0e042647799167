// The installer's narrow text, portable: the ANSI code page on Windows (GBK, code page 936, for
// the players it is made for); where the packaging tool runs on Linux, GBK itself (CP936).
#pragma once

#include <string>

// 1 when ch begins a double-byte character.
int IsAnsiLeadByte(unsigned char ch);

// The bytes of Unicode code point ulCode in that code page into *pstrOut; 0 (and *pstrOut left
// alone) when the code page cannot hold it.
int AnsiFromCodePoint(unsigned long ulCode, std::string* pstrOut);
