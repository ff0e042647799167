#include "pack/package_game_check.h"

#include <map>
#include <set>
#include <utility>

#include "install/package_rules.h"
#include "install/version_check.h"
#include "install/version_text.h"
#include "pack/pack_platform.h"
#include "pack/package_merges.h"
#include "pack/package_names.h"
#include "pack_check.h"

namespace {

// Why one package version does not fit the game's version strGame ("" when version.ini or the
// key is missing); "" when it fits.
std::string s_VersionProblem(const KPackageVersion& version, const std::string& strGame) {
    std::string strShown = "VersionInfo " + version.strApplication + " " + version.strVersion + ": ";
    switch (JudgeGameVersion(strGame.empty() ? nullptr : strGame.c_str(), version)) {
    case KVERSION_MISSING:
        return strShown + "the game's " GAME_VERSION_FILE " names no version of it, and the package needs BaseVersion " +
               version.strBase + ": the installer refuses the package";
    case KVERSION_UNREADABLE:
        return strShown + "the game's " GAME_VERSION_FILE " gives \"" + strGame +
               "\", not a version number: the installer refuses the package";
    case KVERSION_PACKAGE_OLDER:
        return strShown + "the game has " + strGame + ", newer than the package's: the installer refuses the package";
    case KVERSION_SAME:
        return strShown + "the game has this version already: the installer asks the player whether to install it again";
    case KVERSION_GAME_TOO_OLD:
        return strShown + "the game has " + strGame + ", older than BaseVersion " + version.strBase +
               ": the installer refuses the package and offers the game's own updater";
    case KVERSION_OTHER_BASE:
        return strShown + "the game has " + strGame + ", not BaseVersion " + version.strBase +
               ": the installer refuses the package";
    default:
        return std::string();
    }
}

}  // namespace

void CheckPackageOnGame(const std::string& strGameDir, const KDescription& description,
                        std::vector<std::string>* pProblems) {
    std::vector<KTreeEntry> aEntries;
    std::string strError;
    if (!ListPackageTree(strGameDir, &aEntries, &strError, true)) {
        pProblems->push_back("cannot read the game folder: " + strError);
        return;
    }
    std::map<std::string, size_t> mapGame;
    for (size_t i = 0; i < aEntries.size(); ++i)
        mapGame.emplace(TreeKey(aEntries[i].aParts), i);
    // The game's entry at a path given by its parts; null when there is none, or when it lies in
    // a plug-in folder, which the installation sets aside before it merges or copies anything.
    auto fnFind = [&](const std::vector<std::string>& aParts) -> const KTreeEntry* {
        if (aParts.empty() || IsPluginFolder(aParts[0]))
            return nullptr;
        auto found = mapGame.find(TreeKey(aParts));
        return found == mapGame.end() ? nullptr : &aEntries[found->second];
    };

    for (const KPackageMerge& merge : description.aMerges) {
        KListedFile target = PackPathAsListed(merge.strTarget);
        std::vector<std::string> aParts;
        // A Target in a plug-in folder is reported with the package's own checks.
        if (!TreePartsOf(target, &aParts) || aParts.empty() || IsPluginFolder(aParts[0]))
            continue;
        std::string strShown = "Pack " + ShownName(PackPathAsListed(merge.strSource)) + ": Target " + ShownName(target);
        const KTreeEntry* pEntry = fnFind(aParts);
        std::string strReason;
        if (!pEntry || !pEntry->bPlainFile)
            pProblems->push_back(strShown + ": not a file of the game folder: the installer refuses the package");
        else if (!cobblepak::CheckPackFile(NarrowFilePath(PackageEntryPath(strGameDir, pEntry->aParts)).c_str(), strReason))
            pProblems->push_back(strShown + ": not a sound pack in the game folder (" + strReason +
                                 "): the installer refuses the package");
    }

    std::set<std::string> setReported;
    for (const KListedFile& file : description.aFiles) {
        std::vector<std::string> aParts;
        if (!file.bNamePresent || file.strFileName.empty() || !TreePartsOf(file, &aParts))
            continue;
        const KTreeEntry* pEntry = fnFind(aParts);
        if (pEntry && pEntry->bFolder && setReported.insert(TreeKey(aParts)).second)
            pProblems->push_back(ShownName(file) + ": a folder of the game folder stands where it goes: the installer "
                                                   "refuses the package");
    }

    if (description.aVersions.empty())
        return;
    const KTreeEntry* pIni = fnFind({GAME_VERSION_FILE});
    if (pIni && pIni->bFolder) {
        pProblems->push_back(GAME_VERSION_FILE " of the game folder: a folder: the installer refuses the package");
        return;
    }
    std::string strBytes;
    if (pIni && !ReadWholeFile(PackageEntryPath(strGameDir, pIni->aParts), &strBytes)) {
        pProblems->push_back(GAME_VERSION_FILE " of the game folder: cannot be read: the versions are not judged");
        return;
    }
    for (const KPackageVersion& version : description.aVersions) {
        // Read as the installer reads it, text without a byte-order mark in the players' GBK; an
        // empty value is no version.
        std::string strGame;
        FindGameVersion(strBytes, version.strApplication, &strGame, CODE_PAGE_GBK);
        std::string strProblem = s_VersionProblem(version, strGame);
        if (!strProblem.empty())
            pProblems->push_back(strProblem);
    }
}

std::string GameJudgementsLeftOut(const KDescription& description) {
    std::string strLeftOut;
    if (!description.aMerges.empty())
        strLeftOut += "each pack Target there and a sound pack, ";
    if (!description.aFiles.empty())
        strLeftOut += "no folder where a File goes, ";
    if (!description.aVersions.empty())
        strLeftOut += "the versions against its " GAME_VERSION_FILE ", ";
    if (strLeftOut.empty())
        return strLeftOut;
    strLeftOut.resize(strLeftOut.size() - 2);
    return "not judged without a game folder (--game GAME_DIR): " + strLeftOut;
}
