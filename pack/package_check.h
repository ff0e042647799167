// mendwright-pack check: what an install of a package folder would run into, found without
// installing.
#pragma once

#include <string>
#include <vector>

// Reads strDir's Update.dat as the installer does and appends to *pLines (UTF-8) every problem
// an install would hit, each on a line of its own: an unusable description, no files, a File
// without a name, refused names, paths that would not fit or lie too deep under the game folder
// strGamePath (AssumedGamePath for the players' folders; the package taken to be unpacked in a
// folder as long), files listed but missing, files present but not listed, files listed twice,
// digests that are malformed or do not match. With strGameDir, a real game folder, also what the
// installer would find there (CheckPackageOnGame); without it, one line naming what that leaves
// out. Then a summary line. 0 when nothing was found, 1 otherwise.
int CheckPackage(const std::string& strDir, const std::string& strGamePath, std::vector<std::string>* pLines,
                 const std::string& strGameDir = std::string());
