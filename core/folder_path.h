// Folder paths in one normal form, so that two spellings of a folder compare and name alike.
#pragma once

#include <string>

// strPath without its trailing backslashes or slashes; a drive root keeps its one backslash
// ("C:\"). The text is UTF-8, in which no byte of a longer character is a separator.
std::string StripTrailingSeparators(const std::string& strPath);

// The folder pszPath in its normal form: the full path, with the long names and the letter case
// the file system stores when the folder exists, without a trailing backslash (a drive root keeps
// it). "" for a null or empty path, or one the system cannot make a full path of.
std::string NormalFolderPath(const char* pszPath);

// True when the folder strInner is strOuter or lies below it. Both are taken in their normal form
// and compared as the file system compares names, without regard to case.
bool IsSameOrInsideFolder(const std::string& strInner, const std::string& strOuter);
