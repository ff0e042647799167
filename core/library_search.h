// Where the installer's programs load libraries from. They may run with administrator rights from
// the folder the package was unpacked in, often a download folder holding anything else: a
// library of a common name placed there must never be loaded. So such a program restricts the
// library search to the system folder first thing at start (its load-time imports are only
// KERNEL32 and the C runtime, cmake/delay_load.cmake), then loads engine.dll, which ships in the
// package, from its own folder by full path. Every other library, engine.dll's imports included,
// comes from the system folder.
#pragma once

#include <windows.h>

// Restricts the library search of this process to the system folder: neither the program's
// folder, the current folder nor PATH is searched any more, and, with bForWindows, loads from the
// system folder the libraries that system components drawing windows would look up late by name
// (a process that shows no window is spared the load of the drawing libraries they need). Call
// before anything that loads a library. False when the system lacks SetDefaultDllDirectories (Windows 7 without update
// KB2533623): then only the current folder is taken out of the search.
bool RestrictLibrarySearch(bool bForWindows = true);

// Loads engine.dll from the folder of the running program, by full path, and keeps it loaded;
// the program's delay-loaded calls into engine.dll then use this module. The module, or null
// with the cause in GetLastError (the library is missing or cannot be loaded).
HMODULE LoadEngineLibrary();

// Loads the library pszName from the folder pszFolder (UTF-8, without a trailing backslash) by
// full path, as LoadEngineLibrary does: its own imports come from the restricted search, never
// from that folder. Used for Cobblepak.dll, which ships in the update package. The module, or null
// with the cause in GetLastError. The caller frees it.
HMODULE LoadLibraryInFolder(const char* pszFolder, const char* pszName);
