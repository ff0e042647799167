// How Update.dat's bytes become the programs' text (UTF-8) before the parse, the same for the
// installer and the packaging tool: by the byte-order mark (UTF-16 LE, UTF-8), else by the
// encoding the XML declaration names, else in the document's own code page.
#pragma once

#include <cstddef>
#include <string>

// The encoding the XML declaration at the start of the uSize bytes of pszText names, in lower
// case; "" when there is no declaration or it names none.
std::string DeclaredEncoding(const char* pszText, size_t uSize);

// The code page a text without byte-order mark is read in: CODE_PAGE_UTF8 or CODE_PAGE_GBK for
// what its declaration names (GBK under any of its names), uDefault for no declaration or plain
// ASCII (a subset of both), 0 for any other encoding, which is not read.
unsigned DescriptionCodePage(const char* pszText, size_t uSize, unsigned uDefault);

// The uSize bytes at pBytes as text, read as described above, in *pstrUtf8; a zero byte ends a
// text read through a code page, as it ends the parse. false (*pstrUtf8 empty) when the
// declaration names an encoding that is not read, or a UTF-16 text has not one unit after its
// mark.
bool DescriptionToUtf8(const char* pBytes, size_t uSize, unsigned uDefault, std::string* pstrUtf8);
