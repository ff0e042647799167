// mendwright-pack check: what an install of a package folder would run into, found without
// installing.
#pragma once

#include <string>
#include <vector>

// Reads strDir's Update.dat as the installer does and appends to *pLines (UTF-8) every problem
// an install would hit, each on a line of its own: an unusable description, no files, a File
// without a name, refused names, paths that would not fit under a game folder of nGamePathLength
// characters (0: a typical install path), files listed but missing, files present but not
// listed, files listed twice, digests that are malformed or do not match; then a summary line.
// 0 when nothing was found, 1 otherwise.
int CheckPackage(const std::string& strDir, int nGamePathLength, std::vector<std::string>* pLines);
