// The one test for "this path names an existing folder", and its twin for a plain file.
#pragma once

// 1 when the attributes of pszPath can be read and include the directory flag; 0 otherwise
// (also for a null or empty path, and for a plain file of that name).
int FolderExists(const char* pszPath);

// 1 when the attributes of pszPath can be read and lack the directory flag; 0 otherwise.
int PlainFileExists(const char* pszPath);
