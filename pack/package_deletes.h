// The DeleteList of a package, judged as the installer judges it before it touches anything.
#pragma once

#include <string>
#include <vector>

#include "pack/package_description.h"

// The game's launcher, which no package removes (the installer's catalogue text 2039).
#define GAME_LAUNCHER_FILE "velmora.exe"

// Appends to *pProblems (UTF-8) one line for each Delete (texts GBK) the installer refuses under
// a game folder strGame: the name rules of a File, the working folder, version.ini, the
// launcher, a path that one of aFiles writes or a pack Target of aMerges is (or lies below), a
// name ending in a dot or a space (the system would remove what it resolves to).
void CheckPackageDeletes(const std::string& strGame, const std::vector<KListedFile>& aFiles,
                         const std::vector<KPackageMerge>& aMerges, const std::vector<KPackageDelete>& aDeletes,
                         std::vector<std::string>* pProblems);
