// The game's version.ini read and edited as text, so that the installer changes nothing of the
// file but the value it writes: the game and other tools keep their own lines, comments and
// layout there. Reading, listing and writing agree on which line counts; portable, so that the
// packaging tool reads the file as the installer does.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/ansi_text.h"

// In each function strBytes is the file's bytes: text in uCodePage, or UTF-8 or UTF-16 (either
// byte order) by its byte-order mark.

// The value of key strKey (UTF-8) in version.ini's bytes strBytes, in UTF-8: the first line of
// that key in any [Version] section, in file order (a file may repeat the section), without its
// blanks and one pair of enclosing quotes. Section and key names compare as the profile functions
// compare them (EqualsNoCaseAscii). False when there is no such line or its value is empty.
bool FindGameVersion(const std::string& strBytes, const std::string& strKey, std::string* pstrValue,
                     unsigned uCodePage = CODE_PAGE_SYSTEM);

// Each key of the [Version] sections, named as its first line names it, with the value
// FindGameVersion reads for it ("" for an empty one), in the order of those lines; both UTF-8.
std::vector<std::pair<std::string, std::string>> ListGameVersions(const std::string& strBytes,
                                                                  unsigned uCodePage = CODE_PAGE_SYSTEM);

// strBytes with strKey's value set to strValue (ASCII) on the line FindGameVersion reads, keeping
// its quotes and blanks. A missing key is one line added after the last line of the first
// [Version] section; a missing section is added at the end. The encoding, line ends, spacing,
// comments and every other line stay byte for byte; an added line takes the file's first line
// end (CRLF in an empty file).
std::string SetGameVersion(const std::string& strBytes, const std::string& strKey, const std::string& strValue,
                           unsigned uCodePage = CODE_PAGE_SYSTEM);
