// The art packs an update package merges into the game's packs: the Pack elements of Root's
// PackList, each a Source in the package folder merged into a Target of the game folder through
// Cobblepak.dll, which ships in the package folder. Portable: the packaging tool reads and checks
// them the same way.
#pragma once

#include <string>
#include <vector>

class IKXmlNode;

// The library that merges packs, in the package folder beside the installer.
#define COBBLEPAK_LIBRARY_NAME "Cobblepak.dll"

struct KPackageMerge {
    std::string strSource;  // relative to the package folder, as written
    std::string strTarget;  // relative to the game folder, as written
    std::string strSha256;  // SourceSha256 in lower case; empty: not checked
};

// Reads every Pack under pRoot's PackList in document order. false with *pstrFault (English) at
// the first without a Source or Target, with a text too long, or with a SourceSha256 that is not
// 64 hex digits (either case).
bool ReadPackageMerges(IKXmlNode* pRoot, std::vector<KPackageMerge>* pMerges, std::string* pstrFault);

// A relative path split as a File's FilePath and FileName: the folder up to and including the
// last separator ("" for none), and the name after it.
void SplitPackagePath(const std::string& strRelative, std::string* pstrFolder, std::string* pstrName);

// The name rules of a listed file (CheckListedFile) for a pack path relative to both folders;
// an empty name or a path that begins with a separator is a bad name too.
unsigned long CheckPackagePackPath(const char* pszGamePath, const char* pszPackagePath, const std::string& strRelative);

// What a Pack's Target must not be, whatever the game folder holds: a file that a File of the
// same package writes (the merge would go into the package's copy, not the game's pack), or a
// file inside a plug-in folder, which every installation removes first.
enum KPackTarget { PACK_TARGET_OK, PACK_TARGET_REPLACED, PACK_TARGET_IN_PLUGIN_FOLDER };

// strTarget against aFileDests, each File's FilePath + FileName; both compared as the system
// resolves paths (PackagePathKey).
KPackTarget CheckPackTarget(const std::string& strTarget, const std::vector<std::string>& aFileDests);
