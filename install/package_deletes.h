// The files and folders an update package removes from the game: the Delete elements of Root's
// DeleteList, each a Path relative to the game folder (a trailing backslash names a folder,
// removed with all it holds) and an optional Sha256, the digest of the file the publisher means
// (a file with another digest is the player's own and stays). An installer that does not know
// DeleteList removes nothing. Portable: the packaging tool reads and judges them the same way.
#pragma once

#include <set>
#include <string>
#include <vector>

class IKXmlNode;

struct KPackageDelete {
    std::string strPath;    // relative to the game folder, as written
    std::string strSha256;  // Sha256 in lower case; empty: none
};

// Reads every Delete under pRoot's DeleteList in document order. false with *pstrFault (English)
// at the first without a Path, with a Path too long, or with a Sha256 that is not 64 hex digits
// or that stands on a folder.
bool ReadPackageDeletes(IKXmlNode* pRoot, std::vector<KPackageDelete>* pDeletes, std::string* pstrFault);

// True when the Path names a folder (ends in a separator).
bool IsFolderDelete(const KPackageDelete& del);

// Why a Delete is refused, beside the name rules' codes (install/package_rules.h).
enum : unsigned long {
    PACKAGE_DELETE_PROTECTED = 0x20001,  // version.ini, the game's launcher
    PACKAGE_DELETE_WRITTEN = 0x20002,    // a path the package writes lies at or below it
};

// The checks every Delete passes before anything is touched: the name rules of a File
// (CheckListedFile: parent folders, drives and streams, characters no name may hold, device
// names, the working folder, MAX_PATH, depth) on the path without its trailing separator, an
// empty path a bad name; PACKAGE_DELETE_PROTECTED for version.ini or pszLauncher in the game's top
// folder; PACKAGE_DELETE_WRITTEN when a key of setWritten (PackagePathKey of each File's
// destination and each pack Target) equals the path or lies below it. Else PACKAGE_FILE_OK.
unsigned long CheckPackageDelete(const char* pszGamePath, const char* pszLauncher, const KPackageDelete& del,
                                 const std::set<std::string>& setWritten);
