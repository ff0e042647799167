// The versions an update package names: each VersionInfo of the VersionInfoList with a Version is
// the game's version after the package for its Application, and its optional BaseVersion the
// version the package applies to (without one, any older version: a cumulative package).
// Portable: the packaging tool reads them the same way.
#pragma once

#include <string>
#include <vector>

class IKXmlNode;

// A version number: 1 to 4 decimal parts joined by dots, each below 2^32; missing parts are 0,
// so "1.2" equals "1.2.0.0".
struct KGameVersion {
    unsigned long aulParts[4];
};

// 1 when pszText is such a number, with *pVersion filled; 0 otherwise (blanks, signs, empty
// parts and anything else included).
int ParseGameVersion(const char* pszText, KGameVersion* pVersion);
// Below 0, 0 or above 0 as one is older than, equal to or newer than two.
int CompareGameVersions(const KGameVersion& one, const KGameVersion& two);

struct KPackageVersion {
    std::string strApplication;  // the key in the game's version.ini
    std::string strVersion;      // as written, the value the installer writes
    KGameVersion version;
    bool bBase;
    std::string strBase;  // as written
    KGameVersion base;
};

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
// or the key is missing. The installer and the packaging tool judge by it alike.
int JudgeGameVersion(const char* pszGame, const KPackageVersion& package);

// Reads, in document order, every VersionInfo under pRoot's VersionInfoList that has a Version.
// false with *pstrFault (English, for the packaging tool) at the first that is faulty: a Version
// or BaseVersion that is not a version number, a BaseVersion without Version or newer than it, an
// Application that is missing, too long, not usable as an INI key or named by an earlier one.
// VersionInfos without Version and BaseVersion are what earlier packages hold and are passed over.
bool ReadPackageVersions(IKXmlNode* pRoot, std::vector<KPackageVersion>* pVersions, std::string* pstrFault);
