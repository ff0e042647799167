// Whether an update package fits the installed game's version. The game keeps its versions in
// version.ini in its folder: section [Version], one key per application, in the system's code
// page like the game's other INI files.
#pragma once

#include <string>
#include <vector>

#include "install/package_versions.h"

#define GAME_VERSION_FILE "version.ini"
#define GAME_VERSION_SECTION "Version"

// What the installed version G says of one package version, in the order the checks decide.
enum KVersionVerdict {
    KVERSION_FITS = 0,       // G older than Version (and not older than BaseVersion), or no check
    KVERSION_MISSING,        // no version.ini or no key, and the package names a BaseVersion: 2001
    KVERSION_UNREADABLE,     // G is not a version number: 2001
    KVERSION_PACKAGE_OLDER,  // G newer than Version: 2007
    KVERSION_SAME,           // G equal to Version: question 2006
    KVERSION_GAME_TOO_OLD,   // G older than BaseVersion: question 2005
    KVERSION_OTHER_BASE,     // G between BaseVersion and Version: 2003
};

// The verdict for one package version; pszGame is G as version.ini holds it, null when the file
// or the key is missing.
int JudgeGameVersion(const char* pszGame, const KPackageVersion& package);

// Reads version.ini of the game folder strGamePath and judges every version, in order. Touches
// nothing.
std::vector<int> JudgeGameVersions(const std::string& strGamePath, const std::vector<KPackageVersion>& aVersions);

// The catalogue text that tells the player a verdict (0 for KVERSION_FITS).
int VersionVerdictText(int nVerdict);
