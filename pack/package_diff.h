// mendwright-pack diff: the package that turns one build of the game into the next.
#pragma once

#include <string>
#include <vector>

struct KDiffOptions {
    const std::string* pstrTitle = nullptr;  // UTF-8; null: the name of the package folder
    std::vector<std::string> aVersions;      // "APP=VER" (--version), over NEW's version.ini
    std::vector<std::string> aBases;         // "APP=VER" (--base), over OLD's version.ini
};

// Compares the game folders strOld and strNew and writes into strOut (a new folder, or one that
// holds only the installer's own programs) a package that turns OLD into NEW: each file NEW adds
// or changes as a File; each file or folder NEW lacks as a Delete (a file with OLD's SHA-256, a
// folder NEW lacks as a whole by one Delete of the folder); each pack both hold whose entries
// differ as a Pack of the new and changed entries only (shipped whole as a File when NEW's pack
// lacks entries OLD's has, or the merge could not make NEW's); the versions of NEW's
// version.ini, with OLD's as the BaseVersions; then Update.dat, written by make. Files are
// streamed: memory holds the trees' names and one pack's index at a time.
// When anything would be refused by the installer, or cannot be compared, writes nothing.
// Appends the report (UTF-8) to *pLines; a progress line goes to a terminal meanwhile.
// 0 written, 1 problems found (nothing written).
int DiffPackage(const std::string& strOld, const std::string& strNew, const std::string& strOut,
                const KDiffOptions& options, std::vector<std::string>* pLines);
