// The game's version.ini on disk, read whole and written in place; install/version_text.h reads
// and edits its text.
#pragma once

#include <string>

#include "install/version_text.h"

// Reads the file strPath (UTF-8) whole into *pstrBytes: 1 when read, 1 with nothing when it does
// not exist, 0 when it cannot be read (the cause in GetLastError).
int ReadGameVersionFile(const std::string& strPath, std::string* pstrBytes);

// Writes strBytes over the file strPath in place (made when missing), opened as FileInUse tries
// it, and cuts it to their length. *pbTouched tells whether the file was opened for the write,
// and so may have changed (or been made). 1 when written; 0 with the cause in GetLastError.
int WriteGameVersionFile(const std::string& strPath, const std::string& strBytes, bool* pbTouched);
