// The packs of a package folder, checked as the installer checks them before an installation.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "install/package_packs.h"
#include "pack/package_description.h"

// A Source or Target split as the installer splits it, for the name helpers of the File entries
// (TreePartsOf, ShownName).
KListedFile PackPathAsListed(const std::string& strRelative);

// For each Pack: the Source and Target pass the installer's
// name rules under a game folder strGame, the Source is a sound pack in strDir and matches its
// SourceSha256 when it has one; Cobblepak.dll lies in strDir when there is any Pack. Appends each
// problem found (UTF-8) to *pProblems; *pDigests gets each Source's SHA-256 ("" when it could not
// be read), *pSourceKeys the tree keys (TreeKey) of the Sources, which are merged, not copied.
void CheckPackageMerges(const std::string& strDir, const std::string& strGame, const std::vector<KPackageMerge>& aMerges,
                        std::vector<std::string>* pDigests, std::set<std::string>* pSourceKeys,
                        std::vector<std::string>* pProblems);

// Each Pack's Target against the package's own Files, by the installer's rule (CheckPackTarget):
// appends a problem (UTF-8) for each Target a File replaces or a plug-in folder holds.
void CheckPackTargets(const std::vector<KPackageMerge>& aMerges, const std::vector<KListedFile>& aFiles,
                      std::vector<std::string>* pProblems);
