#include "pack/package_diff.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "core/ansi_text.h"
#include "install/package_deletes.h"
#include "install/package_rules.h"
#include "install/package_versions.h"
#include "install/version_check.h"
#include "install/version_text.h"
#include "pack/pack_delta.h"
#include "pack/pack_platform.h"
#include "pack/package_deletes.h"
#include "pack/package_make.h"
#include "pack/package_names.h"

namespace {

typedef std::unique_ptr<std::FILE, int (*)(std::FILE*)> KStream;
const size_t s_uChunk = 1u << 20;

// A game folder's entries by their case-blind key (TreeKey).
struct KGameTree {
    std::vector<KTreeEntry> aEntries;
    std::map<std::string, size_t> mapKeys;
};

// A file of NEW the package carries: as a File, or as the Source of a Pack.
struct KShipped {
    std::vector<std::string> aParts;
    bool bPack = false;
    KPackDelta delta;
};

// The progress line, shown only on a terminal and at most a few times a second.
class KProgress {
public:
    KProgress() : m_bOn(OutputIsTerminal()), m_Last(std::chrono::steady_clock::now()) {}
    ~KProgress() {
        if (m_bShown)
            WriteProgress("");
    }
    void Add(std::uint64_t ullBytes) { m_ullBytes += ullBytes; }
    void Show(const char* pszWhat, size_t uDone, size_t uTotal) {
        auto now = std::chrono::steady_clock::now();
        if (!m_bOn || now - m_Last < std::chrono::milliseconds(250))
            return;
        m_Last = now;
        m_bShown = true;
        WriteProgress(std::string(pszWhat) + " " + std::to_string(uDone) + " of " + std::to_string(uTotal) + ", " +
                      std::to_string(m_ullBytes >> 20) + " MiB read");
    }

private:
    bool m_bOn;
    bool m_bShown = false;
    std::uint64_t m_ullBytes = 0;
    std::chrono::steady_clock::time_point m_Last;
};

KStream s_Open(const std::string& strPath, const char* pszMode) {
    return KStream(OpenFileStream(strPath, pszMode), &std::fclose);
}

// Whether two files hold the same bytes, read side by side up to the first difference.
bool s_SameBytes(const std::string& strOne, const std::string& strOther, bool* pbSame, KProgress* pProgress) {
    KStream one = s_Open(strOne, "rb"), other = s_Open(strOther, "rb");
    if (!one || !other)
        return false;
    thread_local std::vector<char> aOne(s_uChunk), aOther(s_uChunk);
    for (;;) {
        size_t uOne = std::fread(aOne.data(), 1, s_uChunk, one.get());
        size_t uOther = std::fread(aOther.data(), 1, s_uChunk, other.get());
        if (std::ferror(one.get()) || std::ferror(other.get()))
            return false;
        pProgress->Add(uOne + uOther);
        if (uOne != uOther || std::memcmp(aOne.data(), aOther.data(), uOne) != 0) {
            *pbSame = false;
            return true;
        }
        if (uOne < s_uChunk) {
            *pbSame = true;
            return true;
        }
    }
}

// Copies a file's bytes into a new file; false (the new file removed) when a step fails.
bool s_CopyBytes(const std::string& strFrom, const std::string& strTo, std::uint64_t* pullBytes) {
    KStream from = s_Open(strFrom, "rb");
    std::FILE* pTo = from ? OpenFileStream(strTo, "wb") : nullptr;
    if (!pTo)
        return false;
    thread_local std::vector<char> buffer(s_uChunk);
    bool bOk = true;
    size_t uRead = 0;
    while (bOk && (uRead = std::fread(buffer.data(), 1, s_uChunk, from.get())) > 0) {
        bOk = std::fwrite(buffer.data(), 1, uRead, pTo) == uRead;
        *pullBytes += uRead;
    }
    bOk = !std::ferror(from.get()) && bOk;
    bOk = std::fclose(pTo) == 0 && bOk;
    if (!bOk)
        RemovePath(strTo, false);
    return bOk;
}

// True when strInner is strOuter or lies below it (both absolute).
bool s_Within(const std::string& strInner, const std::string& strOuter) {
    std::string strIn = FoldNameCase(strInner), strOut = FoldNameCase(strOuter);
    std::replace(strIn.begin(), strIn.end(), '\\', '/');
    std::replace(strOut.begin(), strOut.end(), '\\', '/');
    if (!strOut.empty() && strOut.back() == '/')
        strOut.pop_back();
    return strIn == strOut || strIn.compare(0, strOut.size() + 1, strOut + "/") == 0;
}

std::string s_Count(size_t uCount, const char* pszOne, const char* pszMany) {
    return std::to_string(uCount) + " " + (uCount == 1 ? pszOne : pszMany);
}

// Lists a game folder, with its folders; every problem of the names found (links, two names
// that differ only in case) appended to *pProblems.
bool s_ListGame(const std::string& strDir, const char* pszWhich, KGameTree* pTree, std::vector<std::string>* pProblems) {
    std::string strError;
    if (!ListPackageTree(strDir, &pTree->aEntries, &strError, true)) {
        pProblems->push_back(std::string(pszWhich) + ": cannot be read: " + strError);
        return false;
    }
    std::sort(pTree->aEntries.begin(), pTree->aEntries.end(),
              [](const KTreeEntry& a, const KTreeEntry& b) { return a.aParts < b.aParts; });
    for (size_t i = 0; i < pTree->aEntries.size(); ++i) {
        const KTreeEntry& entry = pTree->aEntries[i];
        std::string strShown = std::string(pszWhich) + " " + ShownParts(entry.aParts);
        if (!entry.bPlainFile && !entry.bFolder)
            pProblems->push_back(strShown + ": not a plain file or folder (a link?): diff follows none");
        auto inserted = pTree->mapKeys.emplace(TreeKey(entry.aParts), i);
        if (!inserted.second)
            pProblems->push_back(strShown + ": differs only in case from " +
                                 ShownParts(pTree->aEntries[inserted.first->second].aParts));
    }
    return true;
}

// The entry of a tree at aParts, or null.
const KTreeEntry* s_Find(const KGameTree& tree, const std::vector<std::string>& aParts) {
    auto found = tree.mapKeys.find(TreeKey(aParts));
    return found == tree.mapKeys.end() ? nullptr : &tree.aEntries[found->second];
}

// A path of the game as Update.dat names it (backslashes); false when GBK, the code page the
// description is written in, cannot hold it.
bool s_GamePath(const std::vector<std::string>& aParts, std::string* pstrPath) {
    KListedFile file;
    if (!ListedNameOf(aParts, &file))
        return false;
    *pstrPath = (file.strFilePath == "\\" ? std::string() : file.strFilePath) + file.strFileName;
    return true;
}

// "APP=VER" for each key of a version.ini, read as the installer reads it (text without a
// byte-order mark in the players' GBK); a problem when it exists but cannot be read.
std::map<std::string, std::string> s_IniVersions(const std::string& strDir, const char* pszWhich,
                                                 std::vector<std::string>* pOrder, std::vector<std::string>* pProblems) {
    std::string strPath = PackageEntryPath(strDir, {GAME_VERSION_FILE}), strBytes;
    std::map<std::string, std::string> mapVersions;
    std::FILE* pProbe = OpenFileStream(strPath, "rb");
    if (pProbe)
        std::fclose(pProbe);
    if (pProbe && !ReadWholeFile(strPath, &strBytes)) {
        pProblems->push_back(std::string(pszWhich) + " " GAME_VERSION_FILE ": cannot be read: give the versions with "
                                                     "--version and --base");
        return mapVersions;
    }
    for (const auto& key : ListGameVersions(strBytes, CODE_PAGE_GBK)) {
        mapVersions[key.first] = key.second;
        if (pOrder)
            pOrder->push_back(key.first);
    }
    return mapVersions;
}

// The key of an "APP=VER" option, or "".
std::string s_OptionApp(const std::string& strOption) {
    size_t uEqual = strOption.find('=');
    return uEqual == std::string::npos ? std::string() : strOption.substr(0, uEqual);
}

// The versions for make: NEW's version.ini over OLD's, each overridden by an option naming its
// application; an application whose version did not change is left out (a note in *pNotes).
void s_Versions(const std::string& strOld, const std::string& strNew, const KDiffOptions& options, KMakeExtras* pExtras,
                std::vector<std::string>* pNotes, std::vector<std::string>* pProblems) {
    std::vector<std::string> aApps;
    std::map<std::string, std::string> mapNew = s_IniVersions(strNew, "NEW", &aApps, pProblems);
    std::map<std::string, std::string> mapOld = s_IniVersions(strOld, "OLD", nullptr, pProblems);
    std::map<std::string, std::string> mapGiven, mapGivenBase;
    for (const std::string& strOption : options.aVersions) {
        std::string strApp = s_OptionApp(strOption);
        if (!mapNew.count(strApp) && !mapGiven.count(strApp))
            aApps.push_back(strApp);
        mapGiven[strApp] = strOption;
    }
    for (const std::string& strOption : options.aBases)
        mapGivenBase[s_OptionApp(strOption)] = strOption;
    for (const std::string& strApp : aApps) {
        bool bGiven = mapGiven.count(strApp) != 0;
        std::string strVersion = bGiven ? mapGiven[strApp] : strApp + "=" + mapNew[strApp];
        std::string strBase = mapGivenBase.count(strApp) ? mapGivenBase[strApp]
                              : mapOld.count(strApp) && !mapOld[strApp].empty() ? strApp + "=" + mapOld[strApp]
                                                                                : std::string();
        // Compared here too, so that a refusal comes before anything is written.
        KGameVersion version, base;
        bool bVersion = ParseGameVersion(strVersion.substr(strApp.size() + 1).c_str(), &version) != 0;
        bool bBase = !strBase.empty() && ParseGameVersion(strBase.substr(strApp.size() + 1).c_str(), &base) != 0;
        if (!bVersion) {
            pProblems->push_back((bGiven ? "--version " : "NEW " GAME_VERSION_FILE ": ") + strVersion +
                                 ": not a version number (1 to 4 decimal parts)");
            continue;
        }
        if (!strBase.empty() && !bBase) {
            pProblems->push_back("OLD " GAME_VERSION_FILE " or --base: " + strBase + ": not a version number");
            continue;
        }
        if (bBase && CompareGameVersions(base, version) == 0 && !bGiven && !mapGivenBase.count(strApp)) {
            pNotes->push_back("versions: " + strApp + " is " + mapNew[strApp] + " in both: not listed");
            continue;
        }
        if (bBase && CompareGameVersions(base, version) > 0) {
            pProblems->push_back("versions: " + strApp + " would go from " + strBase.substr(strApp.size() + 1) + " back to " +
                                 strVersion.substr(strApp.size() + 1) + ": give --version and --base");
            continue;
        }
        pExtras->aVersions.push_back(strVersion);
        if (!strBase.empty())
            pExtras->aBases.push_back(strBase);
        pNotes->push_back("versions: " + strApp + " " + (bBase ? strBase.substr(strApp.size() + 1) + " -> " : "") +
                          strVersion.substr(strApp.size() + 1));
    }
}

// Removes what a failed run wrote, newest first.
void s_Undo(const std::vector<std::pair<std::string, bool>>& aWritten) {
    for (auto it = aWritten.rbegin(); it != aWritten.rend(); ++it)
        RemovePath(it->first, it->second);
}

}  // namespace

int DiffPackage(const std::string& strOld, const std::string& strNew, const std::string& strOut,
                const KDiffOptions& options, std::vector<std::string>* pLines) {
    std::vector<std::string> aProblems, aNotes;
    std::string strAbsOld = AbsolutePath(strOld), strAbsNew = AbsolutePath(strNew), strAbsOut = AbsolutePath(strOut);
    if (!IsFolderPath(strOld) || !IsFolderPath(strNew)) {
        pLines->push_back(std::string(IsFolderPath(strOld) ? "NEW" : "OLD") + ": not a folder: nothing written");
        return 1;
    }
    if (strAbsOld.empty() || strAbsNew.empty() || strAbsOut.empty() || s_Within(strAbsOut, strAbsOld) ||
        s_Within(strAbsOut, strAbsNew) || s_Within(strAbsOld, strAbsOut) || s_Within(strAbsNew, strAbsOut)) {
        pLines->push_back("OUT: must lie outside OLD and NEW, and they outside it: nothing written");
        return 1;
    }
    // OUT: new, or holding only what a package holds beside its files (the installer's programs).
    bool bOutExists = IsFolderPath(strOut);
    bool bCobblepak = false;
    if (bOutExists) {
        std::vector<KTreeEntry> aOut;
        std::string strError;
        if (!ListPackageTree(strOut, &aOut, &strError))
            aProblems.push_back("OUT: cannot be read: " + strError);
        for (const KTreeEntry& entry : aOut) {
            if (!IsInstallerOwnFile(entry.aParts) || EqualsNoCaseAscii(entry.aParts[0], "Update.dat"))
                aProblems.push_back("OUT " + ShownParts(entry.aParts) +
                                    ": OUT may hold only the installer's programs: give a new folder");
            bCobblepak = bCobblepak || EqualsNoCaseAscii(entry.aParts[0], COBBLEPAK_LIBRARY_NAME);
        }
    } else {
        std::FILE* pFile = OpenFileStream(strOut, "rb");
        if (pFile) {
            std::fclose(pFile);
            aProblems.push_back("OUT: a file, not a folder");
        }
    }

    KGameTree oldTree, newTree;
    if (!s_ListGame(strOld, "OLD", &oldTree, &aProblems) || !s_ListGame(strNew, "NEW", &newTree, &aProblems)) {
        pLines->insert(pLines->end(), aProblems.begin(), aProblems.end());
        pLines->push_back("nothing written");
        return 1;
    }

    const std::string strGame = AssumedGamePath(0);
    KProgress progress;
    std::vector<KShipped> aShipped;
    std::vector<KListedFile> aListed;  // the Files, for judging the Deletes
    std::vector<KPackageMerge> aMerges;
    size_t uAdded = 0, uChanged = 0, uFiles = 0;
    for (size_t i = 0; i < newTree.aEntries.size(); ++i) {
        const KTreeEntry& entry = newTree.aEntries[i];
        progress.Show("comparing", i, newTree.aEntries.size());
        const KTreeEntry* pOld = s_Find(oldTree, entry.aParts);
        std::string strShown = ShownParts(entry.aParts);
        if (entry.bFolder || !entry.bPlainFile) {
            if (entry.bFolder && pOld && !pOld->bFolder)
                aProblems.push_back(strShown + ": a file in OLD, a folder in NEW: a package cannot turn one into the other");
            continue;
        }
        ++uFiles;
        if (pOld && pOld->bFolder) {
            aProblems.push_back(strShown + ": a folder in OLD, a file in NEW: a package cannot turn one into the other");
            continue;
        }
        KShipped shipped;
        shipped.aParts = entry.aParts;
        std::string strNewPath = PackageEntryPath(strNew, entry.aParts);
        if (pOld) {
            if (!pOld->bPlainFile)
                continue;  // a link in OLD, already a problem
            std::string strOldPath = PackageEntryPath(strOld, pOld->aParts);
            bool bSame = false;
            if (!s_SameBytes(strOldPath, strNewPath, &bSame, &progress)) {
                aProblems.push_back(strShown + ": cannot be read in OLD or NEW");
                continue;
            }
            if (bSame)
                continue;
            // A pack in both: only its new and changed entries, when a merge makes NEW's pack.
            KPackSummary oldPack, newPack;
            std::string strReason;
            if (ReadPackSummary(strOldPath, &oldPack, &strReason) && ReadPackSummary(strNewPath, &newPack, &strReason)) {
                const KPackDelta& delta = shipped.delta;
                std::string strPack = "pack " + strShown + ": ";
                if (!ComparePacks(strOldPath, oldPack, strNewPath, newPack, &shipped.delta, &strReason)) {
                    aProblems.push_back(strPack + strReason);
                    continue;
                } else if (delta.uRemoved) {
                    aNotes.push_back(strPack + s_Count(delta.uRemoved, "entry", "entries") +
                                     " of OLD's gone in NEW: a merge removes none, so the whole pack goes as a File");
                } else if (delta.bHeaderDiffers) {
                    aNotes.push_back(strPack + "its header's other words differ: a merge keeps the game's, so the whole "
                                               "pack goes as a File");
                } else if (MergedPackSize(oldPack, delta) > cobblepak::kPackMaxFileSize) {
                    aNotes.push_back(strPack + "merged it would pass 2 GiB: the whole pack goes as a File");
                } else if (delta.aShipped.empty()) {
                    aNotes.push_back(strPack + "the same entries, other bytes between them: nothing to ship");
                    continue;
                } else {
                    shipped.bPack = true;
                    aNotes.push_back(strPack + s_Count(delta.uAdded, "entry", "entries") + " added, " +
                                     std::to_string(delta.uChanged) + " changed, of " +
                                     std::to_string(newPack.aIndex.size()) + ": a Pack of " +
                                     std::to_string(PackDeltaSize(delta)) + " bytes");
                }
            }
            if (!shipped.bPack)
                shipped.delta = KPackDelta();
            ++uChanged;
        } else {
            ++uAdded;
        }
        // Every path the package writes passes the name rules of a File (a pack's Source and
        // Target take the same path, and pass the same rules).
        KListedFile file;
        if (IsInstallerOwnFile(entry.aParts)) {
            aProblems.push_back(strShown + ": the package's own file of that name is the installer's: it cannot be shipped");
            continue;
        }
        if (!ListedNameOf(entry.aParts, &file)) {
            aProblems.push_back(strShown + ": a name GBK cannot hold");
            continue;
        }
        file.bFits = file.strFilePath.size() < 260 && file.strFileName.size() < 260;
        unsigned long ulRefusal = CheckPackedName(strGame, file);
        if (ulRefusal != PACKAGE_FILE_OK) {
            aProblems.push_back(strShown + ": " + RefusalText(ulRefusal, strGame.size()));
            continue;
        }
        if (shipped.bPack) {
            std::string strPath;
            s_GamePath(entry.aParts, &strPath);
            aMerges.push_back(KPackageMerge{strPath, strPath, std::string()});
        } else {
            aListed.push_back(file);
        }
        aShipped.push_back(shipped);
    }

    // What NEW lacks: a folder as a whole by one Delete, else each file with OLD's digest.
    std::vector<KPackageDelete> aDeletes;
    std::set<std::string> setFolderDeleted;
    size_t uDeletedFiles = 0;
    for (size_t i = 0; i < oldTree.aEntries.size(); ++i) {
        const KTreeEntry& entry = oldTree.aEntries[i];
        progress.Show("deletions", i, oldTree.aEntries.size());
        if (s_Find(newTree, entry.aParts))
            continue;
        bool bInside = false;
        for (size_t uLevels = 1; uLevels < entry.aParts.size() && !bInside; ++uLevels)
            bInside = setFolderDeleted.count(TreeKey({entry.aParts.begin(), entry.aParts.begin() + uLevels})) != 0;
        if (!entry.bFolder)
            ++uDeletedFiles;
        if (bInside || (!entry.bPlainFile && !entry.bFolder))
            continue;
        KPackageDelete del;
        if (!s_GamePath(entry.aParts, &del.strPath)) {
            aProblems.push_back(ShownParts(entry.aParts) + ": a name GBK cannot hold, in OLD only: no Delete can name it");
            continue;
        }
        if (entry.bFolder) {
            del.strPath += "\\";
            setFolderDeleted.insert(TreeKey(entry.aParts));
        } else if (!FileDigestHex(PackageEntryPath(strOld, entry.aParts), &del.strSha256)) {
            aProblems.push_back("OLD " + ShownParts(entry.aParts) + ": cannot be read");
            continue;
        }
        aDeletes.push_back(del);
    }
    CheckPackageDeletes(strGame, aListed, aMerges, aDeletes, &aProblems);

    KMakeExtras extras;
    s_Versions(strOld, strNew, options, &extras, &aNotes, &aProblems);
    for (const KPackageMerge& merge : aMerges) {
        extras.aPacks.push_back(merge.strSource + "=" + merge.strSource);
    }
    extras.aDeletes = aDeletes;
    if (!aMerges.empty() && !bCobblepak)
        aProblems.push_back(COBBLEPAK_LIBRARY_NAME ": not in OUT: the installer merges no pack without it; put it there "
                            "(with the installer's programs) first");
    if (aShipped.empty() && aDeletes.empty() && aProblems.empty())
        aProblems.push_back("OLD and NEW hold the same files: no package to make");

    std::vector<std::string> aFound;
    aFound.push_back("compared " + s_Count(uFiles, "file", "files") + " of NEW with " +
                     s_Count(oldTree.aEntries.size(), "entry", "entries") + " of OLD");
    aFound.push_back("added " + s_Count(uAdded, "file", "files") + ", changed " + std::to_string(uChanged) +
                     ", deleted " + std::to_string(uDeletedFiles) + " by " + s_Count(aDeletes.size(), "Delete", "Deletes") +
                     " (" + std::to_string(setFolderDeleted.size()) + " of them folders)");
    aFound.insert(aFound.end(), aNotes.begin(), aNotes.end());
    pLines->insert(pLines->end(), aFound.begin(), aFound.end());
    if (!aProblems.empty()) {
        pLines->insert(pLines->end(), aProblems.begin(), aProblems.end());
        pLines->push_back(s_Count(aProblems.size(), "problem", "problems") + ": nothing written");
        return 1;
    }

    // Written: the files and packs, then Update.dat by make; a failure takes back all of it.
    std::vector<std::pair<std::string, bool>> aWritten;
    bool bOk = true;
    if (!bOutExists) {
        bOk = MakeFolders(strOut);
        if (bOk)
            aWritten.emplace_back(strOut, true);
    }
    std::uint64_t ullBytes = 0;
    for (size_t i = 0; bOk && i < aShipped.size(); ++i) {
        const KShipped& shipped = aShipped[i];
        progress.Show("writing", i, aShipped.size());
        for (size_t uLevels = 1; bOk && uLevels < shipped.aParts.size(); ++uLevels) {
            std::string strFolder = PackageEntryPath(strOut, {shipped.aParts.begin(), shipped.aParts.begin() + uLevels});
            if (IsFolderPath(strFolder))
                continue;
            bOk = MakeFolders(strFolder);
            if (bOk)
                aWritten.emplace_back(strFolder, true);
        }
        std::string strTo = PackageEntryPath(strOut, shipped.aParts), strError;
        std::string strFrom = PackageEntryPath(strNew, shipped.aParts);
        if (bOk && shipped.bPack) {
            bOk = WritePackDelta(strFrom, shipped.delta, strTo, &strError);
            ullBytes += static_cast<std::uint64_t>(PackDeltaSize(shipped.delta));
        } else if (bOk) {
            bOk = s_CopyBytes(strFrom, strTo, &ullBytes);
        }
        if (bOk)
            aWritten.emplace_back(strTo, false);
        else
            pLines->push_back(ShownParts(shipped.aParts) + ": cannot be written to OUT");
    }
    if (!bOk) {
        s_Undo(aWritten);
        pLines->push_back("OUT: cannot be written: nothing left there");
        return 1;
    }
    std::vector<std::string> aMade;
    if (MakePackage(strOut, options.pstrTitle, &aMade, &extras) != 0) {
        s_Undo(aWritten);
        pLines->insert(pLines->end(), aMade.begin(), aMade.end());
        pLines->push_back("OUT: make refused the package: nothing left there");
        return 1;
    }
    pLines->insert(pLines->end(), aMade.begin(), aMade.end());
    pLines->push_back("package: " + std::to_string(ullBytes) + " bytes of files and packs");
    return 0;
}
