// Whether an update package fits the installed game's version. The game keeps its versions in
// version.ini in its folder: section [Version], one key per application, in the system's code
// page like the game's other INI files.
#pragma once

#include <string>
#include <vector>

#include "install/package_versions.h"

#define GAME_VERSION_FILE "version.ini"
#define GAME_VERSION_SECTION "Version"

// Reads version.ini of the game folder strGamePath and judges every version, in order. Touches
// nothing.
std::vector<int> JudgeGameVersions(const std::string& strGamePath, const std::vector<KPackageVersion>& aVersions);

// The catalogue text that tells the player a verdict (0 for KVERSION_FITS).
int VersionVerdictText(int nVerdict);
