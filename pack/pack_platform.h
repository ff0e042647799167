// What mendwright-pack needs of the system: the package tree, file bytes and digests, and the
// console. Texts are UTF-8 on both sides of this interface; Linux and
// Windows each implement it (pack_platform_posix.cpp, pack_platform_win.cpp).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// One entry found under the package folder: its path below the folder, one name per level.
struct KTreeEntry {
    std::vector<std::string> aParts;
    bool bPlainFile;  // false: something that is neither a plain file nor a folder (a link, a device)
    bool bFolder = false;  // a folder, listed only when asked for
};

// Every file below strDir, folders walked recursively (not followed through links), in no
// particular order; with bFolders each folder too, before what it holds. false with *pstrError
// set when strDir or a folder below it cannot be read.
bool ListPackageTree(const std::string& strDir, std::vector<KTreeEntry>* pEntries, std::string* pstrError,
                     bool bFolders = false);

// The path of a package entry given by its parts.
std::string PackageEntryPath(const std::string& strDir, const std::vector<std::string>& aParts);

// strPath for a library that opens files by narrow path (the pack code's check): the path itself on
// Linux; on Windows in the system's ANSI code page, or its short (8.3) form where that code page
// cannot write it; "" when neither can.
std::string NarrowFilePath(const std::string& strPath);

// The SHA-256 of a file's bytes as lower-case hex; false when it cannot be read.
bool FileDigestHex(const std::string& strPath, std::string* pstrHex);

// The file opened as a C stream (pszMode as for std::fopen) by its UTF-8 path; null when it
// cannot be. The caller closes it.
std::FILE* OpenFileStream(const std::string& strPath, const char* pszMode);

// True when strPath is a folder (not a link to one).
bool IsFolderPath(const std::string& strPath);

// Makes the folder strPath and those above it that are missing; true when it is a folder then.
bool MakeFolders(const std::string& strPath);

// Removes a file, or with bFolder an empty folder; false when it cannot.
bool RemovePath(const std::string& strPath, bool bFolder);

// strPath made absolute and its separators the system's, links not resolved, for telling
// whether one folder lies inside another; "" when that fails.
std::string AbsolutePath(const std::string& strPath);

// True when standard output is a terminal (a console on Windows), where a progress line helps.
bool OutputIsTerminal();

// Writes strUtf8 over the current line of standard output, without a line end; "" clears the
// line. Only for a terminal (OutputIsTerminal).
void WriteProgress(const std::string& strUtf8);

// The whole file, or false.
bool ReadWholeFile(const std::string& strPath, std::string* pstrBytes);

// Writes strBytes as strPath whole: to a temporary file beside it, then renamed over it. false
// with nothing changed at strPath when it fails.
bool WriteWholeFile(const std::string& strPath, const std::string& strBytes);

// Writes a UTF-8 line and a line end to standard output (bError: standard error), converted to
// what the console shows: UTF-8 on Linux, the console's code page on Windows.
void WriteLine(const std::string& strUtf8, bool bError = false);
