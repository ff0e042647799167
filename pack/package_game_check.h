// What check can judge of a package only on a game folder: what the installer's plan and its
// version check find there before anything is touched.
#pragma once

#include <string>
#include <vector>

#include "pack/package_description.h"

// Judges description against the game folder strGameDir as the installer would on it, touching
// nothing, and appends each problem found (UTF-8) to *pProblems: a Pack's Target missing there or
// not a sound pack, a folder of the game standing where a File goes, a VersionInfo that does not
// fit the game's version.ini. Paths are matched as the system resolves them (separators, ".",
// letter case); what lies in a plug-in folder counts as gone, as every installation sets those
// aside first.
void CheckPackageOnGame(const std::string& strGameDir, const KDescription& description,
                        std::vector<std::string>* pProblems);

// The one line check prints without a game folder: the judgements above that it left out for
// description; "" when none would apply.
std::string GameJudgementsLeftOut(const KDescription& description);
