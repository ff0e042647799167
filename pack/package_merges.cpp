#include "pack/package_merges.h"

#include "install/package_rules.h"
#include "pack/pack_platform.h"
#include "pack/package_description.h"
#include "pack/package_names.h"
#include "pack_check.h"

KListedFile PackPathAsListed(const std::string& strRelative) {
    KListedFile file;
    SplitPackagePath(strRelative, &file.strFilePath, &file.strFileName);
    return file;
}

void CheckPackageMerges(const std::string& strDir, const std::string& strGame, const std::vector<KPackageMerge>& aMerges,
                        std::vector<std::string>* pDigests, std::set<std::string>* pSourceKeys,
                        std::vector<std::string>* pProblems) {
    pDigests->clear();
    for (const KPackageMerge& merge : aMerges) {
        KListedFile source = PackPathAsListed(merge.strSource);
        std::string strShown = "Pack " + ShownName(source);
        pDigests->push_back(std::string());
        bool bRefused = false;
        for (const std::string* pstrPath : {&merge.strSource, &merge.strTarget}) {
            unsigned long ulRefusal = CheckPackagePackPath(strGame.c_str(), strGame.c_str(), *pstrPath);
            if (ulRefusal != PACKAGE_FILE_OK) {
                pProblems->push_back(strShown + ": " + (pstrPath == &merge.strSource ? "Source" : "Target ") +
                                     (pstrPath == &merge.strSource ? "" : ShownName(PackPathAsListed(merge.strTarget))) + ": " +
                                     RefusalText(ulRefusal, strGame.size()));
                bRefused = true;
            }
        }
        std::vector<std::string> aParts;
        if (bRefused || !TreePartsOf(source, &aParts) || aParts.empty())
            continue;
        pSourceKeys->insert(TreeKey(aParts));
        std::string strPath = PackageEntryPath(strDir, aParts);
        std::string strReason, strDigest;
        if (!FileDigestHex(strPath, &strDigest)) {
            pProblems->push_back(strShown + ": the Source is missing or unreadable");
            continue;
        }
        pDigests->back() = strDigest;
        if (!cobblepak::CheckPackFile(NarrowFilePath(strPath).c_str(), strReason))
            pProblems->push_back(strShown + ": the Source is not a sound pack (" + strReason + "): the installer refuses it");
        else if (!merge.strSha256.empty() && merge.strSha256 != strDigest)
            pProblems->push_back(strShown + ": the Source's SHA-256 differs from its SourceSha256: the installer refuses it");
    }
    std::string strBytes;
    if (!aMerges.empty() && !ReadWholeFile(PackageEntryPath(strDir, {COBBLEPAK_LIBRARY_NAME}), &strBytes))
        pProblems->push_back(COBBLEPAK_LIBRARY_NAME ": missing: the installer merges no pack without it");
}

void CheckPackTargets(const std::vector<KPackageMerge>& aMerges, const std::vector<KListedFile>& aFiles,
                      std::vector<std::string>* pProblems) {
    std::vector<std::string> aDests;
    for (const KListedFile& file : aFiles)
        aDests.push_back(file.strFilePath + file.strFileName);
    for (const KPackageMerge& merge : aMerges) {
        KPackTarget eTarget = CheckPackTarget(merge.strTarget, aDests);
        if (eTarget == PACK_TARGET_OK)
            continue;
        pProblems->push_back("Pack " + ShownName(PackPathAsListed(merge.strSource)) + ": Target " +
                             ShownName(PackPathAsListed(merge.strTarget)) +
                             (eTarget == PACK_TARGET_REPLACED ? ": a File of the package replaces it"
                                                              : ": inside a plug-in folder, which every installation removes first") +
                             ": the installer takes the description as faulty");
    }
}
