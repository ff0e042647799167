#include "pack/package_check.h"

#include <algorithm>
#include <map>
#include <set>

#include "install/package_rules.h"
#include "pack/pack_platform.h"
#include "pack/package_deletes.h"
#include "pack/package_description.h"
#include "pack/package_game_check.h"
#include "pack/package_merges.h"
#include "pack/package_names.h"

int CheckPackage(const std::string& strDir, const std::string& strGame, std::vector<std::string>* pLines,
                 const std::string& strGameDir) {
    std::string strBytes, strError;
    KDescription description;
    if (!ReadWholeFile(PackageEntryPath(strDir, {"Update.dat"}), &strBytes)) {
        pLines->push_back("Update.dat: missing or unreadable: the installer refuses the package");
        return 1;
    }
    if (!ReadDescription(strBytes, &description, &strError)) {
        pLines->push_back("Update.dat: the installer cannot use it: " + strError);
        return 1;
    }

    std::vector<std::string> aProblems;
    std::vector<KTreeEntry> aEntries;
    if (!ListPackageTree(strDir, &aEntries, &strError))
        aProblems.push_back("cannot read the package folder: " + strError);
    std::sort(aEntries.begin(), aEntries.end(),
              [](const KTreeEntry& a, const KTreeEntry& b) { return a.aParts < b.aParts; });
    std::map<std::string, size_t> mapTree;
    for (size_t i = 0; i < aEntries.size(); ++i)
        mapTree.emplace(TreeKey(aEntries[i].aParts), i);
    std::vector<bool> abListed(aEntries.size(), false);

    if (!description.strFault.empty())
        aProblems.push_back("Update.dat: " + description.strFault + ": the installer takes the description as faulty");
    if (description.aFiles.empty() && description.aMerges.empty() && description.aVersions.empty())
        aProblems.push_back("Update.dat lists no File: the installer refuses the package");
    // Pack sources are merged, not copied: they count as listed.
    std::vector<std::string> aDigests;
    std::set<std::string> setSources;
    CheckPackageMerges(strDir, strGame, description.aMerges, &aDigests, &setSources, &aProblems);
    CheckPackTargets(description.aMerges, description.aFiles, &aProblems);
    for (size_t i = 0; i < aEntries.size(); ++i)
        abListed[i] = setSources.count(TreeKey(aEntries[i].aParts)) != 0;
    std::set<std::string> setDests;
    size_t uDigests = 0;
    for (size_t i = 0; i < description.aFiles.size(); ++i) {
        const KListedFile& file = description.aFiles[i];
        std::string strShown = ShownName(file);
        if (!file.bNamePresent || file.strFileName.empty()) {
            aProblems.push_back("File " + std::to_string(i + 1) + " (" + strShown +
                                "): no FileName: the installer takes the description as faulty");
            continue;
        }
        unsigned long ulRefusal = CheckPackedName(strGame, file);
        if (ulRefusal != PACKAGE_FILE_OK)
            aProblems.push_back(strShown + ": " + RefusalText(ulRefusal, strGame.size()));
        bool bDigestUsable = !file.bSha256Present || IsSha256Text(file.strSha256.c_str());
        if (!bDigestUsable)
            aProblems.push_back(strShown + ": FileSha256 is not 64 hex digits: the installer refuses the package");

        std::vector<std::string> aParts;
        if (!TreePartsOf(file, &aParts)) {
            aProblems.push_back(strShown + ": not UTF-8 text, as its Update.dat declares: the installer would read "
                                "another name and miss the file");
            continue;
        }
        if (!setDests.insert(TreeKey(aParts)).second)
            aProblems.push_back(strShown + ": listed twice");
        if (file.bSha256Present)
            ++uDigests;
        auto found = mapTree.find(TreeKey(aParts));
        if (aParts.empty() || found == mapTree.end()) {
            if (ulRefusal == PACKAGE_FILE_OK || ulRefusal == PACKED_NAME_TRAILING)
                aProblems.push_back(strShown + ": listed but not in the package");
            continue;
        }
        abListed[found->second] = true;
        if (!aEntries[found->second].bPlainFile) {
            aProblems.push_back(strShown + ": not a plain file");
            continue;
        }
        if (!file.bSha256Present || !bDigestUsable)
            continue;
        std::string strDigest;
        if (!FileDigestHex(PackageEntryPath(strDir, aEntries[found->second].aParts), &strDigest))
            aProblems.push_back(strShown + ": cannot be read");
        else if (strDigest != file.strSha256)
            aProblems.push_back(strShown + ": the file's SHA-256 differs from its FileSha256: the install would fail here");
    }
    CheckPackageDeletes(strGame, description.aFiles, description.aMerges, description.aDeletes, &aProblems);
    for (size_t i = 0; i < aEntries.size(); ++i) {
        if (!abListed[i] && !IsInstallerOwnFile(aEntries[i].aParts))
            aProblems.push_back(ShownParts(aEntries[i].aParts) + ": in the package but not listed");
    }

    std::string strLeftOut;
    if (!strGameDir.empty())
        CheckPackageOnGame(strGameDir, description, &aProblems);
    else
        strLeftOut = GameJudgementsLeftOut(description);

    pLines->insert(pLines->end(), aProblems.begin(), aProblems.end());
    if (!strLeftOut.empty())
        pLines->push_back(strLeftOut);
    std::string strSummary = std::to_string(description.aFiles.size()) + " files listed, " + std::to_string(uDigests) +
                             " with digests, ";
    if (!description.aMerges.empty())
        strSummary += std::to_string(description.aMerges.size()) + (description.aMerges.size() == 1 ? " pack, " : " packs, ");
    if (!description.aVersions.empty())
        strSummary += std::to_string(description.aVersions.size()) +
                      (description.aVersions.size() == 1 ? " version, " : " versions, ");
    if (!description.aDeletes.empty())
        strSummary += std::to_string(description.aDeletes.size()) +
                      (description.aDeletes.size() == 1 ? " delete, " : " deletes, ");
    strSummary += "game folder of " + std::to_string(strGame.size()) + " characters: ";
    if (aProblems.empty()) {
        pLines->push_back(strSummary + "no problems");
        return 0;
    }
    pLines->push_back(strSummary + std::to_string(aProblems.size()) + (aProblems.size() == 1 ? " problem" : " problems"));
    return 1;
}
