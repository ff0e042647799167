// The versions a build of the game records in its version.ini: section [Version], one key per
// application, read as the system's profile functions read it (names without case, blanks
// around names and values dropped, one pair of enclosing quotes removed, the first key of a
// name winning).
#pragma once

#include <string>
#include <utility>
#include <vector>

// Each key of [Version] with its value, in file order, both UTF-8; the file's text is GBK, or
// UTF-8 with a byte-order mark. A missing file gives none. false with *pstrError when the file
// exists but cannot be read, is UTF-16, or holds text that is neither.
bool ReadGameVersionFile(const std::string& strPath, std::vector<std::pair<std::string, std::string>>* pKeys,
                         std::string* pstrError);
