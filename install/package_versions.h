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

// Reads, in document order, every VersionInfo under pRoot's VersionInfoList that has a Version.
// false with *pstrFault (English, for the packaging tool) at the first that is faulty: a Version
// or BaseVersion that is not a version number, a BaseVersion without Version or newer than it, an
// Application that is missing, too long, not usable as an INI key or named by an earlier one.
// VersionInfos without Version and BaseVersion are what earlier packages hold and are passed over.
bool ReadPackageVersions(IKXmlNode* pRoot, std::vector<KPackageVersion>* pVersions, std::string* pstrFault);
