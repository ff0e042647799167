#include "pack/package_make.h"

#include <algorithm>
#include <map>
#include <set>

#include "core/ansi_text.h"
#include "install/package_rules.h"
#include "pack/pack_platform.h"
#include "pack/package_deletes.h"
#include "pack/package_description.h"
#include "pack/package_merges.h"
#include "pack/package_names.h"
#include "xml/description_text.h"

namespace {

// A folder's sort key, in the GBK bytes Update.dat is written in (every name listed is GBK): a
// separator sorts before every character, so a folder's files and subfolders stay together.
std::string s_FolderKey(const std::string& strFilePath) {
    std::string strKey;
    if (strFilePath == "\\" || !GbkFromUtf8(strFilePath, &strKey))
        return "\xFF";
    std::replace(strKey.begin(), strKey.end(), '\\', '\1');
    return strKey;
}

std::string s_NameKey(const std::string& strFileName) {
    std::string strKey;
    GbkFromUtf8(strFileName, &strKey);
    return strKey;
}

// Folder by folder, then the top folder's files, by name, byte by byte.
bool s_ListedBefore(const KListedFile& one, const KListedFile& other) {
    std::string strOne = s_FolderKey(one.strFilePath), strOther = s_FolderKey(other.strFilePath);
    return strOne != strOther ? strOne < strOther : s_NameKey(one.strFileName) < s_NameKey(other.strFileName);
}

std::string s_BaseName(const std::string& strDir) {
    std::string strTrimmed = strDir;
    while (strTrimmed.size() > 1 && (strTrimmed.back() == '/' || strTrimmed.back() == '\\'))
        strTrimmed.pop_back();
    size_t uSlash = strTrimmed.find_last_of("/\\");
    return uSlash == std::string::npos ? strTrimmed : strTrimmed.substr(uSlash + 1);
}

// The present Update.dat's VersionInfoList as it is written there, kept by a new one; "" when
// there is none.
std::string s_VersionInfoList(const std::string& strBytes) {
    std::string strText;
    DescriptionToUtf8(strBytes.data(), strBytes.size(), CODE_PAGE_GBK, &strText);
    size_t uBegin = strText.find("<VersionInfoList>");
    size_t uEnd = strText.find("</VersionInfoList>", uBegin);
    if (uBegin == std::string::npos || uEnd == std::string::npos)
        return std::string();
    size_t uLineStart = strText.rfind('\n', uBegin);
    uLineStart = uLineStart == std::string::npos ? uBegin : uLineStart + 1;
    if (strText.find_first_not_of(" \t", uLineStart) != uBegin)
        uLineStart = uBegin;
    return strText.substr(uLineStart, uEnd + 18 - uLineStart);
}

// The title: given, kept from the present Update.dat, or the folder's name.
std::string s_Title(const std::string& strDir, const std::string* pstrTitle) {
    if (pstrTitle)
        return *pstrTitle;
    std::string strBytes, strError;
    KDescription present;
    if (ReadWholeFile(PackageEntryPath(strDir, {"Update.dat"}), &strBytes) &&
        ReadDescription(strBytes, &present, &strError) && !present.strTitle.empty())
        return present.strTitle;
    return s_BaseName(strDir);
}

// "NAME=VALUE" split at its first "="; false when there is none or either side is empty.
bool s_SplitAssignment(const std::string& strArg, std::string* pstrName, std::string* pstrValue) {
    size_t uEqual = strArg.find('=');
    if (uEqual == std::string::npos || uEqual == 0 || uEqual + 1 == strArg.size())
        return false;
    *pstrName = strArg.substr(0, uEqual);
    *pstrValue = strArg.substr(uEqual + 1);
    return true;
}

// The versions of --version and --base; problems for what the installer would not take.
std::vector<KPackageVersion> s_Versions(const KMakeExtras& extras, std::vector<std::string>* pProblems) {
    std::vector<KPackageVersion> aVersions;
    for (const std::string& strArg : extras.aVersions) {
        KPackageVersion version;
        version.bBase = false;
        if (!s_SplitAssignment(strArg, &version.strApplication, &version.strVersion) ||
            !ParseGameVersion(version.strVersion.c_str(), &version.version))
            pProblems->push_back("--version " + strArg + ": takes APP=VERSION, 1 to 4 decimal parts");
        else
            aVersions.push_back(version);
    }
    for (const std::string& strArg : extras.aBases) {
        std::string strApplication, strBase;
        KGameVersion base;
        auto found = aVersions.end();
        if (s_SplitAssignment(strArg, &strApplication, &strBase))
            found = std::find_if(aVersions.begin(), aVersions.end(),
                                 [&](const KPackageVersion& v) { return v.strApplication == strApplication; });
        if (found == aVersions.end() || !ParseGameVersion(strBase.c_str(), &base)) {
            pProblems->push_back("--base " + strArg + ": takes APP=VERSION for an APP of --version");
            continue;
        }
        found->bBase = true;
        found->strBase = strBase;
        found->base = base;
    }
    return aVersions;
}

}  // namespace

int MakePackage(const std::string& strDir, const std::string* pstrTitle, std::vector<std::string>* pLines,
                const KMakeExtras* pExtras) {
    std::vector<std::string> aProblems;
    std::string strPresent, strError;
    ReadWholeFile(PackageEntryPath(strDir, {"Update.dat"}), &strPresent);
    KDescription present;
    bool bPresent = !strPresent.empty() && ReadDescription(strPresent, &present, &strError);
    const KMakeExtras extras = pExtras ? *pExtras : KMakeExtras();

    // Versions from the options, else the present ones as written.
    std::string strVersionInfo = s_VersionInfoList(strPresent);
    std::vector<KPackageVersion> aVersions = s_Versions(extras, &aProblems);
    bool bVersions = !extras.aVersions.empty();
    if (bVersions) {
        std::string strGbk;
        strVersionInfo = VersionInfoListText(aVersions);
        if (!GbkFromUtf8(strVersionInfo, &strGbk))
            aProblems.push_back("--version: GBK cannot hold an application's name");
    }
    // Packs from the options, else the present ones; merged, so not listed as files.
    std::vector<KPackageMerge> aMerges = bPresent ? present.aMerges : std::vector<KPackageMerge>();
    if (!extras.aPacks.empty()) {
        aMerges.clear();
        for (const std::string& strArg : extras.aPacks) {
            KPackageMerge merge;
            std::string strGbk;
            if (!s_SplitAssignment(strArg, &merge.strSource, &merge.strTarget) || !GbkFromUtf8(merge.strSource, &strGbk) ||
                !GbkFromUtf8(merge.strTarget, &strGbk)) {
                aProblems.push_back("--pack " + strArg + ": takes SOURCE=TARGET in names GBK can hold");
                continue;
            }
            std::replace(merge.strSource.begin(), merge.strSource.end(), '/', '\\');
            std::replace(merge.strTarget.begin(), merge.strTarget.end(), '/', '\\');
            aMerges.push_back(merge);
        }
    }
    std::vector<std::string> aDigests;
    std::set<std::string> setSources;
    CheckPackageMerges(strDir, AssumedGamePath(0), aMerges, &aDigests, &setSources, &aProblems);
    for (size_t i = 0; i < aMerges.size(); ++i)
        aMerges[i].strSha256 = aDigests[i];
    std::vector<KTreeEntry> aEntries;
    if (!ListPackageTree(strDir, &aEntries, &strError)) {
        pLines->push_back("cannot read the package folder: " + strError);
        pLines->push_back("nothing written");
        return 1;
    }
    std::sort(aEntries.begin(), aEntries.end(),
              [](const KTreeEntry& a, const KTreeEntry& b) { return a.aParts < b.aParts; });

    std::string strGame = AssumedGamePath(0);
    std::vector<KListedFile> aFiles;
    std::vector<std::string> aPaths;
    // Every file and folder by its case-blind key: two names that differ only in case would be
    // one on the players' file system.
    std::map<std::string, std::string> mapKeys;
    for (const KTreeEntry& entry : aEntries) {
        if (IsInstallerOwnFile(entry.aParts) || setSources.count(TreeKey(entry.aParts)))
            continue;
        std::string strShown = ShownParts(entry.aParts);
        for (size_t uLevels = 1; uLevels <= entry.aParts.size(); ++uLevels) {
            std::vector<std::string> aPrefix(entry.aParts.begin(), entry.aParts.begin() + uLevels);
            auto inserted = mapKeys.emplace(TreeKey(aPrefix), ShownParts(aPrefix));
            if (!inserted.second && inserted.first->second != ShownParts(aPrefix)) {
                aProblems.push_back(ShownParts(aPrefix) + ": differs only in case from " + inserted.first->second);
                inserted.first->second = ShownParts(aPrefix);  // each pair once
            }
        }
        if (!entry.bPlainFile) {
            aProblems.push_back(strShown + ": not a plain file");
            continue;
        }
        KListedFile file;
        if (!ListedNameOf(entry.aParts, &file)) {
            aProblems.push_back(strShown + ": a name GBK cannot hold");
            continue;
        }
        file.bFits = file.strFilePath.size() < KXML_TEXT_SIZE && file.strFileName.size() < KXML_TEXT_SIZE;
        unsigned long ulRefusal = CheckPackedName(strGame, file);
        if (ulRefusal != PACKAGE_FILE_OK) {
            aProblems.push_back(strShown + ": " + RefusalText(ulRefusal, strGame.size()));
            continue;
        }
        aFiles.push_back(file);
        aPaths.push_back(PackageEntryPath(strDir, entry.aParts));
    }
    CheckPackTargets(aMerges, aFiles, &aProblems);
    const std::vector<KPackageDelete>& aDeletes =
        !extras.aDeletes.empty() || !bPresent ? extras.aDeletes : present.aDeletes;
    bool bExtras = !aMerges.empty() || bVersions || (bPresent && !present.aVersions.empty()) || !aDeletes.empty();
    if (aEntries.empty() || (aFiles.empty() && aProblems.empty() && !bExtras))
        aProblems.push_back("no files to list: the installer refuses a package without any");

    std::string strTitle = s_Title(strDir, pstrTitle), strTitleGbk;
    if (!GbkFromUtf8(strTitle, &strTitleGbk))
        aProblems.push_back("the title: GBK cannot hold it");
    else if (strTitleGbk.size() >= 260)
        aProblems.push_back("the title: longer than the installer's 259 bytes");

    std::vector<size_t> aOrder(aFiles.size());
    for (size_t i = 0; i < aOrder.size(); ++i)
        aOrder[i] = i;
    std::sort(aOrder.begin(), aOrder.end(), [&](size_t a, size_t b) { return s_ListedBefore(aFiles[a], aFiles[b]); });
    std::vector<KListedFile> aSorted;
    for (size_t i : aOrder) {
        KListedFile file = aFiles[i];
        if (aProblems.empty() && !FileDigestHex(aPaths[i], &file.strSha256))
            aProblems.push_back(ShownName(file) + ": cannot be read");
        aSorted.push_back(file);
    }

    // What the installer will read back must be what was meant (the parse trims white space
    // around texts, for one); checked whatever else was found, so that every problem is listed.
    CheckPackageDeletes(strGame, aSorted, aMerges, aDeletes, &aProblems);
    std::string strText;
    if (!GbkFromUtf8(DescriptionText(strTitle, aSorted, strVersionInfo, aMerges, aDeletes), &strText)) {
        if (aProblems.empty())  // else a text named above is the cause
            aProblems.push_back("Update.dat: GBK cannot hold its text");
    } else {
        KDescription readBack;
        if (!ReadDescription(strText, &readBack, &strError) || readBack.strTitle != strTitle ||
            readBack.aFiles.size() != aSorted.size()) {
            aProblems.push_back("Update.dat: the installer would not read it as written");
        } else if (!readBack.strFault.empty()) {
            aProblems.push_back("Update.dat: " + readBack.strFault + ": the installer would take it as faulty");
        } else {
            for (size_t i = 0; i < aSorted.size(); ++i) {
                const KListedFile& file = readBack.aFiles[i];
                if (file.strFilePath != aSorted[i].strFilePath || file.strFileName != aSorted[i].strFileName ||
                    file.strSha256 != aSorted[i].strSha256)
                    aProblems.push_back(ShownName(aSorted[i]) + ": the installer would read this name differently");
            }
        }
    }
    if (!aProblems.empty()) {
        pLines->insert(pLines->end(), aProblems.begin(), aProblems.end());
        pLines->push_back(std::to_string(aProblems.size()) + (aProblems.size() == 1 ? " problem" : " problems") +
                          ": nothing written");
        return 1;
    }
    if (!WriteWholeFile(PackageEntryPath(strDir, {"Update.dat"}), strText)) {
        pLines->push_back("Update.dat: cannot be written");
        return 1;
    }
    std::string strWrote = "wrote Update.dat: " + std::to_string(aSorted.size()) + " files with SHA-256 digests";
    if (!aMerges.empty())
        strWrote += ", " + std::to_string(aMerges.size()) + (aMerges.size() == 1 ? " pack" : " packs");
    if (!aDeletes.empty())
        strWrote += ", " + std::to_string(aDeletes.size()) + (aDeletes.size() == 1 ? " delete" : " deletes");
    pLines->push_back(strWrote);
    return 0;
}
