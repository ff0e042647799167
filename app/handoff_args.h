// The packages of an unattended start, named on the installer's command line.
#pragma once

#include <vector>

#include "install/resource_list.h"

// One record per argument after the program name, the name in UTF-8 and every other field
// empty. Arguments that cannot be a package name (see IsHandoffName, and names the ANSI code page
// cannot write in fewer than 128 bytes) are left out: the name becomes a file name in the
// temporary folder, read at start-up and deleted on quit.
std::vector<KResourceEntry> HandoffListFromCommandLine(const wchar_t* pwszCommandLine);

// 1 when pszName (UTF-8) is usable as a package name: not empty, fewer than 128 UTF-16 units,
// no path separator, drive colon, wildcard, quote, angle bracket, bar or control character, and
// not "." or "..".
int IsHandoffName(const char* pszName);
