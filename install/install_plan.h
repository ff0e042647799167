// The plan of one installation: what the package asks for, judged against the game folder and
// the package folder before anything is touched.
//
// MakeInstallPlan reads the description's FileList, PackList and versions and checks everything
// that can be known before the run: names under the installer's rules, digests' form, sources
// present and sound, no folder where a file goes, pack targets sound and not replaced or taken
// away by the run itself, Cobblepak.dll beside the installer. A plan it returns names every
// change the run will make (the plug-in folders to set aside, the folders to create, each
// destination and what stands there now, each pack's length and header, the version file), so
// that the transaction (install/install_transaction.h) can journal it whole and undo any part of
// it without judging anything itself. A refusal touches nothing and says why in one line.
#pragma once

#include <string>
#include <vector>

#include "install/package_versions.h"

class IKMsgOutput;
class IKXmlNode;

// One file of the run. Paths are relative to the game folder, as FilePath and FileName join.
struct KPlanFile {
    std::string strFilePath;
    std::string strFileName;
    std::string strDest;  // destination relative to the game folder
    std::string strSha256;  // the digest the file must have; empty: not checked
    // What stands at the destination when the run begins: 'R' a file of the player's, which is set
    // aside; 'N' nothing; 'D' the file an earlier entry of this run wrote (listed twice).
    char chKind;
};

// One pack of the run's PackList. The merge only appends to the target and then rewrites its
// header, so the target's length and header before the run are all a rollback needs.
struct KPlanPack {
    std::string strSource;  // relative to the package folder
    std::string strTarget;  // relative to the game folder
    long long nLength;      // the target's length before the run
    std::string strHeader;  // the target's first PACK_HEADER_BYTES bytes before the run
};

enum { PACK_HEADER_BYTES = 32 };

// One path of the DeleteList that stands in the game folder when the run begins: set aside with
// the plug-in folders, removed at the commit, put back by a rollback.
struct KPlanDelete {
    std::string strPath;  // relative to the game folder, as the system resolves it, no trailing separator
    bool bFolder;
};

struct KInstallPlan {
    std::vector<std::string> aPluginFolders;  // "interface", "interface2": those that exist
    std::vector<std::string> aNewFolders;     // relative, with trailing backslash, parents first
    std::vector<KPlanFile> aFiles;
    std::vector<KPlanPack> aPacks;
    std::vector<KPackageVersion> aVersions;
    std::vector<KPlanDelete> aDeletes;
    // Files of the DeleteList whose digest is not the one the package names (the player's own):
    // left in place, each told in one line.
    std::vector<std::string> aKept;
    // The game's version.ini when versions are written: 'R' the player's, set aside first; 'N'
    // none; 'D' one a File of this run wrote. 0 when the run writes no versions.
    char chVersionFile = 0;
};

// True when pRoot's description is sound and lists no File, no Pack and no version: a run of it
// copies nothing and says so (2023) rather than being refused.
bool ListsNothingToInstall(IKXmlNode* pRoot);

// True when pRoot's PackList holds a Pack: the run may merge, and Cobblepak.dll is tried first.
bool ListsPacks(IKXmlNode* pRoot);

// Reads the FileList, PackList, DeleteList and versions under pRoot and checks, touching nothing,
// that the run can succeed as far as can be known: at least one File (or a Pack or a version),
// each File with a FileName and names that CheckListedFile passes, a FileSha256 (when present) of
// 64 hex digits, each source a plain file of the package, no folder standing at a destination;
// each Pack's paths passing the same rules, its source a sound pack (with its SourceSha256), its
// target a sound pack of the game folder that no File replaces, no plug-in folder holds and no
// other program holds against the merge's writes, and Cobblepak.dll in the package folder; each Delete passing CheckPackageDelete. On a refusal
// reports one line on pMsgOutput and returns 0; else fills *pPlan and returns 1.
int MakeInstallPlan(IKXmlNode* pRoot, const std::string& strGamePath, const std::string& strPackagePath,
                    IKMsgOutput* pMsgOutput, KInstallPlan* pPlan);

// The length and first PACK_HEADER_BYTES bytes of the pack at strPath; false when it cannot be
// read.
bool ReadPackState(const std::string& strPath, long long* pnLength, std::string* pstrHeader);
