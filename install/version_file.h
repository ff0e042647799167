// The game's version.ini read and edited as text, so that the installer changes nothing of the
// file but the value it writes: the game and other tools keep their own lines, comments and
// layout there. Reading and writing agree on which line counts.
#pragma once

#include <string>

// The value of key strKey (UTF-8) in version.ini's bytes strBytes, in UTF-8: the first line of
// that key in any [Version] section, in file order (a file may repeat the section), without its
// blanks and one pair of enclosing quotes. Section and key names compare as the profile functions
// compare them. False when there is no such line or its value is empty.
bool FindGameVersion(const std::string& strBytes, const std::string& strKey, std::string* pstrValue);

// strBytes with strKey's value set to strValue (ASCII) on the line FindGameVersion reads, keeping
// its quotes and blanks. A missing key is one line added after the last line of the first
// [Version] section; a missing section is added at the end. The encoding (the system's code page,
// or UTF-8 or UTF-16 with a byte-order mark), line ends, spacing, comments and every other line
// stay byte for byte; an added line takes the file's first line end (CRLF in an empty file).
std::string SetGameVersion(const std::string& strBytes, const std::string& strKey, const std::string& strValue);

// Reads the file strPath (UTF-8) whole into *pstrBytes: 1 when read, 1 with nothing when it does
// not exist, 0 when it cannot be read (the cause in GetLastError).
int ReadGameVersionFile(const std::string& strPath, std::string* pstrBytes);

// Writes strBytes over the file strPath in place (made when missing), opened as FileInUse tries
// it, and cuts it to their length. *pbTouched tells whether the file was opened for the write,
// and so may have changed (or been made). 1 when written; 0 with the cause in GetLastError.
int WriteGameVersionFile(const std::string& strPath, const std::string& strBytes, bool* pbTouched);
