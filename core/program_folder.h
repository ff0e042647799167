// The folder of the running program: where the package description and the package's files lie.
#pragma once

#include <cstddef>

// The last backslash of the UTF-8 path pszPath; null when there is none.
const char* FindLastSeparator(const char* pszPath);

// Writes the full path of the running program, cut before its last separator, into pszFolder of
// uSize bytes (MW_PATH_BYTES hold any path). 1 on success; 0 (pszFolder "") when the path cannot
// be read whole, has no separator or does not fit.
int GetProgramFolder(char* pszFolder, size_t uSize);
