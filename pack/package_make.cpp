#include "pack/package_make.h"

#include <algorithm>
#include <map>

#include "install/package_rules.h"
#include "pack/pack_platform.h"
#include "pack/package_description.h"
#include "pack/package_names.h"

namespace {

// A folder's sort key: a separator sorts before every character, so a folder's files and
// subfolders stay together.
std::string s_FolderKey(const std::string& strFilePath) {
    std::string strKey = strFilePath == "\\" ? "\xFF" : strFilePath;
    std::replace(strKey.begin(), strKey.end(), '\\', '\1');
    return strKey;
}

// Folder by folder, then the top folder's files, by name, byte by byte.
bool s_ListedBefore(const KListedFile& one, const KListedFile& other) {
    std::string strOne = s_FolderKey(one.strFilePath), strOther = s_FolderKey(other.strFilePath);
    return strOne != strOther ? strOne < strOther : one.strFileName < other.strFileName;
}

std::string s_BaseName(const std::string& strDir) {
    std::string strTrimmed = strDir;
    while (strTrimmed.size() > 1 && (strTrimmed.back() == '/' || strTrimmed.back() == '\\'))
        strTrimmed.pop_back();
    size_t uSlash = strTrimmed.find_last_of("/\\");
    return uSlash == std::string::npos ? strTrimmed : strTrimmed.substr(uSlash + 1);
}

// The present Update.dat's VersionInfoList as it is written there (GBK), kept by a new one; ""
// when there is none.
std::string s_VersionInfoList(const std::string& strBytes) {
    size_t uBegin = strBytes.find("<VersionInfoList>");
    size_t uEnd = strBytes.find("</VersionInfoList>", uBegin);
    if (uBegin == std::string::npos || uEnd == std::string::npos)
        return std::string();
    size_t uLineStart = strBytes.rfind('\n', uBegin);
    uLineStart = uLineStart == std::string::npos ? uBegin : uLineStart + 1;
    if (strBytes.find_first_not_of(" \t", uLineStart) != uBegin)
        uLineStart = uBegin;
    return strBytes.substr(uLineStart, uEnd + 18 - uLineStart);
}

// The title in GBK: given, kept from the present Update.dat, or the folder's name.
bool s_Title(const std::string& strDir, const std::string* pstrTitle, std::string* pstrGbk) {
    if (pstrTitle)
        return GbkFromUtf8(*pstrTitle, pstrGbk);
    std::string strBytes, strError;
    KDescription present;
    if (ReadWholeFile(PackageEntryPath(strDir, {"Update.dat"}), &strBytes) &&
        ReadDescription(strBytes, &present, &strError) && !present.strTitle.empty()) {
        *pstrGbk = present.strTitle;
        return true;
    }
    return GbkFromUtf8(s_BaseName(strDir), pstrGbk);
}

}  // namespace

int MakePackage(const std::string& strDir, const std::string* pstrTitle, std::vector<std::string>* pLines) {
    std::vector<std::string> aProblems;
    std::vector<KTreeEntry> aEntries;
    std::string strError;
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
        if (IsInstallerOwnFile(entry.aParts))
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
        file.bFits = file.strFilePath.size() < 260 && file.strFileName.size() < 260;
        unsigned long ulRefusal = CheckPackedName(strGame, file);
        if (ulRefusal != PACKAGE_FILE_OK) {
            aProblems.push_back(strShown + ": " + RefusalText(ulRefusal, strGame.size()));
            continue;
        }
        aFiles.push_back(file);
        aPaths.push_back(PackageEntryPath(strDir, entry.aParts));
    }
    if (aEntries.empty() || (aFiles.empty() && aProblems.empty()))
        aProblems.push_back("no files to list: the installer refuses a package without any");

    std::string strTitle;
    if (!s_Title(strDir, pstrTitle, &strTitle))
        aProblems.push_back("the title: GBK cannot hold it");
    else if (strTitle.size() >= 260)
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
    std::string strPresent;
    ReadWholeFile(PackageEntryPath(strDir, {"Update.dat"}), &strPresent);
    std::string strText = DescriptionText(strTitle, aSorted, s_VersionInfoList(strPresent));
    {
        KDescription readBack;
        if (!ReadDescription(strText, &readBack, &strError) || readBack.strTitle != strTitle ||
            readBack.aFiles.size() != aSorted.size()) {
            aProblems.push_back("Update.dat: the installer would not read it as written");
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
    pLines->push_back("wrote Update.dat: " + std::to_string(aSorted.size()) + " files with SHA-256 digests");
    return 0;
}
