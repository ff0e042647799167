// The game's resource package list: resource\resource.ini (the catalogue of packages) and
// resource\resinstall.ini (their install status). Each file is read whole once (KIniFile); the
// status is written back through the INI functions.
#pragma once

#include <windows.h>

#include <vector>

// The fields are UTF-8; each holds as many characters as the game's own field of the bracketed
// size (UTF-16 units, as the system counts), that is up to three bytes for each.

// A key triple of a type-1 package.
struct KResourceKey {
    char szRegKey[260 * 3];
    char szKeyName[128 * 3];
    char szExe[128 * 3];
};

// One package: a section of resource.ini.
struct KResourceEntry {
    char szName[128 * 3];
    char szTitle[128 * 3];
    char szDescript[260 * 3];
    char szDownloadWorker[260 * 3];
    int nInstall;  // 0 unknown, 1 installed, 2 marked by the unattended start, -1 invalid
    int nSkip;
    int nType;  // 1: the entry has key triples
    std::vector<KResourceKey> KeyList;
};

class KResourceList {
public:
    KResourceList();

    // Loads the list from the two INI paths (the files need not exist). 1 when both paths are
    // given, 0 when either is null.
    int Load(const char* pszResourceIni, const char* pszResInstallIni);
    // nInstall of the first entry named pszName, compared as the INI functions compare section
    // names (case-insensitive); -1 when none matches or pszName is null.
    int GetInstallState(const char* pszName) const;
    // Stores nValue (-1 when outside -1..2) in entry nIndex and writes nValue as passed under
    // "install" in its resinstall.ini section. 0 for a bad index, else the write's result.
    int SetInstallState(int nIndex, int nValue);
    // SetInstallState for the first entry named pszName (compared as GetInstallState does); 0 when
    // pszName is null or matches none.
    int SetInstallStateByName(const char* pszName, int nValue);
    // Index of the first entry named pszName (compared as GetInstallState does); -1 for none.
    int FindEntry(const char* pszName) const;

    char m_szResourceIni[MAX_PATH * 3];
    char m_szResInstallIni[MAX_PATH * 3];
    std::vector<KResourceEntry> m_EntryList;
};
