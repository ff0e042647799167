// The packages of an unattended start, named on the installer's command line.
#pragma once

#include <vector>

#include "install/resource_list.h"

// One record per argument after the program name, the name in the ANSI code page and every
// other field empty. Arguments that cannot be a package name (see IsHandoffName, and names with
// characters the ANSI code page lacks) are left out: the name becomes a file name in the
// temporary folder, read at start-up and deleted on quit.
std::vector<KResourceEntry> HandoffListFromCommandLine(const wchar_t* pwszCommandLine);

// 1 when pszName is usable as a package name: not empty, shorter than the record's name field,
// no path separator, drive colon, wildcard, quote, angle bracket, bar or control character, and
// not "." or "..".
int IsHandoffName(const char* pszName);
