#include "install/install_plan.h"

#include <windows.h>

#include <algorithm>
#include <set>
#include <vector>

#include "core/ansi_text.h"
#include "core/folder_exists.h"
#include "core/folder_path.h"
#include "core/sha256.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/update_installer.h"
#include "core/win_text.h"
#include "install/file_copy.h"
#include "install/package_deletes.h"
#include "install/package_packs.h"
#include "install/package_rules.h"
#include "install/version_check.h"
#include "install/write_obstacle.h"
#include "pack_check.h"
#include "xml/xml_document.h"

namespace {

// The SHA-256 of a file as lower-case hex; "" when it cannot be read.
std::string s_FileSha256(const std::string& strPath) {
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (hFile == INVALID_HANDLE_VALUE)
        return std::string();
    KSha256 sha;
    std::vector<char> buffer(1 << 20);
    DWORD dwRead = 0;
    bool bOk = true;
    while ((bOk = ReadFile(hFile, buffer.data(), static_cast<DWORD>(buffer.size()), &dwRead, nullptr) != 0) && dwRead)
        bOk = sha.Update(buffer.data(), dwRead);
    CloseHandle(hFile);
    std::string strHex = sha.FinishHex();
    return bOk ? strHex : std::string();
}

// Whether the pack at the UTF-8 path strPath is sound, read through the pack code's own check.
bool s_IsSoundPack(const std::string& strPath) {
    std::string strAnsi = SystemAnsiPath(strPath);
    std::string strReason;
    return !strAnsi.empty() && PlainFileExists(strPath.c_str()) && cobblepak::CheckPackFile(strAnsi.c_str(), strReason);
}

// A path relative to the game folder as the plan compares destinations.
std::string s_GameRelative(const std::string& strGamePath, const std::string& strRelative) {
    std::string strFolder, strName;
    SplitPackagePath(strRelative, &strFolder, &strName);
    return PackageDestFolder(strGamePath.c_str(), strFolder.c_str()).substr(strGamePath.size() + 1) + strName;
}

// The DeleteList into pPlan: each Delete judged first (nothing is touched on a refusal), then
// those whose path stands once the plug-in folders are set aside, each once and none below a
// folder the list removes as a whole; a file whose digest differs from the one named is kept.
template <class FnSurvives>
bool s_PlanDeletes(IKXmlNode* pRoot, const std::string& strGamePath, const std::vector<std::string>& aFileDests,
                   const std::vector<KPackageMerge>& aMerges, const FnSurvives& fnSurvives, IKMsgOutput* pMsgOutput,
                   KInstallPlan* pPlan) {
    std::vector<KPackageDelete> aDeletes;
    std::string strFault;
    if (!ReadPackageDeletes(pRoot, &aDeletes, &strFault)) {
        AddCatalogueLine(pMsgOutput, IDS_DESCRIPTION_FAULTY);
        return false;
    }
    std::set<std::string> setWritten;
    for (const std::string& strDest : aFileDests)
        setWritten.insert(PackagePathKey(strDest));
    for (const KPackageMerge& merge : aMerges)
        setWritten.insert(PackagePathKey(merge.strTarget));
    for (const KPackageDelete& del : aDeletes) {
        unsigned long ulRefusal = CheckPackageDelete(strGamePath.c_str(), GetString(IDS_LAUNCHER_NAME), del, setWritten);
        if (ulRefusal == PACKAGE_DELETE_PROTECTED || ulRefusal == PACKAGE_DELETE_WRITTEN) {
            AddCatalogueLine(pMsgOutput, IDS_DESCRIPTION_FAULTY);
            return false;
        }
        if (ulRefusal != PACKAGE_FILE_OK) {
            std::string strFolder, strName;
            SplitPackagePath(del.strPath, &strFolder, &strName);
            if (pMsgOutput)
                AddCopyErrorLine(pMsgOutput, strFolder.c_str(), strName.c_str(), ulRefusal);
            return false;
        }
    }
    std::vector<std::string> aFolderKeys;
    std::set<std::string> setSeen;
    for (const KPackageDelete& del : aDeletes) {
        std::string strPath = del.strPath;
        bool bFolder = IsFolderDelete(del);
        if (bFolder)
            strPath.pop_back();
        KPlanDelete planDelete = {s_GameRelative(strGamePath, strPath), bFolder};
        std::string strKey = PackagePathKey(planDelete.strPath);
        if (!fnSurvives(planDelete.strPath) || !setSeen.insert(strKey).second)
            continue;
        DWORD dwAttributes = GetFileAttributesU8((strGamePath + "\\" + planDelete.strPath).c_str());
        // Not there, or not what the Delete names (a file where it names a folder): passed over.
        if (dwAttributes == INVALID_FILE_ATTRIBUTES || ((dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != bFolder)
            continue;
        if (!bFolder && !del.strSha256.empty() && s_FileSha256(strGamePath + "\\" + planDelete.strPath) != del.strSha256) {
            pPlan->aKept.push_back(planDelete.strPath);
            continue;
        }
        if (bFolder)
            aFolderKeys.push_back(strKey + "\\");
        pPlan->aDeletes.push_back(planDelete);
    }
    // What a removed folder holds goes with it.
    auto itEnd = std::remove_if(pPlan->aDeletes.begin(), pPlan->aDeletes.end(), [&](const KPlanDelete& planDelete) {
        std::string strKey = PackagePathKey(planDelete.strPath);
        return std::any_of(aFolderKeys.begin(), aFolderKeys.end(), [&](const std::string& strFolder) {
            return strKey.compare(0, strFolder.size(), strFolder) == 0;
        });
    });
    pPlan->aDeletes.erase(itEnd, pPlan->aDeletes.end());
    return true;
}

}  // namespace

bool ReadPackState(const std::string& strPath, long long* pnLength, std::string* pstrHeader) {
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER liSize;
    char achHeader[PACK_HEADER_BYTES];
    DWORD dwRead = 0;
    bool bOk = GetFileSizeEx(hFile, &liSize) && ReadFile(hFile, achHeader, sizeof(achHeader), &dwRead, nullptr) &&
               dwRead == sizeof(achHeader);
    CloseHandle(hFile);
    *pnLength = liSize.QuadPart;
    pstrHeader->assign(achHeader, sizeof(achHeader));
    return bOk;
}

bool ListsNothingToInstall(IKXmlNode* pRoot) {
    std::vector<KPackageVersion> aVersions;
    std::vector<KPackageMerge> aMerges;
    std::string strFault;
    if (!ReadPackageVersions(pRoot, &aVersions, &strFault) || !ReadPackageMerges(pRoot, &aMerges, &strFault))
        return false;
    IKXmlNode* pFileList = pRoot ? pRoot->GetFirstChildByName("FileList") : nullptr;
    return !(pFileList && pFileList->GetFirstChildByName("File")) && aMerges.empty() && aVersions.empty();
}

bool ListsPacks(IKXmlNode* pRoot) {
    IKXmlNode* pPackList = pRoot ? pRoot->GetFirstChildByName("PackList") : nullptr;
    return pPackList && pPackList->GetFirstChildByName("Pack");
}

int MakeInstallPlan(IKXmlNode* pRoot, const std::string& strGamePath, const std::string& strPackagePath,
                    IKMsgOutput* pMsgOutput, KInstallPlan* pPlan) {
    *pPlan = KInstallPlan();
    std::vector<KPackageMerge> aMerges;
    std::string strFault;
    if (!ReadPackageVersions(pRoot, &pPlan->aVersions, &strFault) || !ReadPackageMerges(pRoot, &aMerges, &strFault)) {
        AddCatalogueLine(pMsgOutput, IDS_DESCRIPTION_FAULTY);
        return 0;
    }
    IKXmlNode* pFileList = pRoot ? pRoot->GetFirstChildByName("FileList") : nullptr;
    IKXmlNode* pFile = pFileList ? pFileList->GetFirstChildByName("File") : nullptr;
    if (!pFile && aMerges.empty() && pPlan->aVersions.empty()) {
        AddCatalogueLine(pMsgOutput, IDS_COPY_FAILED);
        return 0;
    }

    std::set<std::string> setPlugins;
    for (const char* pszName : g_apszPluginFolders) {
        if (FolderExists((strGamePath + "\\" + pszName + "\\").c_str())) {
            pPlan->aPluginFolders.push_back(pszName);
            setPlugins.insert(FoldNameCase(pszName));
        }
    }
    // Whether a path relative to the game folder stands where it did once the plug-in folders
    // are set aside.
    auto fnSurvives = [&](const std::string& strRelative) {
        return !setPlugins.count(FoldNameCase(PackageFirstComponent(strRelative)));
    };

    std::set<std::string> setDests, setFolders;
    std::vector<std::string> aFileDests;
    KListedFileReader reader;
    const char* szFilePath = reader.m_szFilePath;
    const char* szFileName = reader.m_szFileName;
    for (; pFile; pFile = pFile->GetNextSiblingByName("File")) {
        int bFits = reader.Read(pFile);
        if (!reader.m_bNamePresent || !szFileName[0]) {
            AddCatalogueLine(pMsgOutput, IDS_DESCRIPTION_FAULTY);
            return 0;
        }
        DWORD dwRefusal = bFits ? CheckListedFile(strGamePath.c_str(), strPackagePath.c_str(), szFilePath, szFileName)
                                : ERROR_FILENAME_EXCED_RANGE;
        std::string strDestFolder = PackageDestFolder(strGamePath.c_str(), szFilePath);
        std::string strRelFolder = strDestFolder.substr(strGamePath.size() + 1);
        std::string strDest = strRelFolder + szFileName;
        std::vector<std::string> chain = FolderChain(strDestFolder.c_str());
        if (dwRefusal != ERROR_SUCCESS) {
            if (pMsgOutput)
                AddCopyErrorLine(pMsgOutput, szFilePath, szFileName, dwRefusal);
            return 0;
        }
        // A digest the copy could never match is refused here, before anything is set aside.
        if (reader.m_bSha256Present && !IsSha256Text(reader.m_strSha256.c_str())) {
            AddCatalogueLine(pMsgOutput, IDS_DIGEST_MALFORMED, szFilePath, szFileName);
            return 0;
        }
        if (!PlainFileExists((strPackagePath + "\\" + szFilePath + szFileName).c_str())) {
            AddCatalogueLine(pMsgOutput, IDS_SOURCE_MISSING, szFilePath, szFileName);
            return 0;
        }

        for (const std::string& strPrefix : chain) {
            if (strPrefix.size() <= strGamePath.size() + 1)
                continue;  // the game folder itself and the folders above it
            std::string strRelative = strPrefix.substr(strGamePath.size() + 1);
            bool bStands = fnSurvives(strRelative) && FolderExists(strPrefix.c_str());
            if (!bStands && setFolders.insert(FoldNameCase(strRelative)).second)
                pPlan->aNewFolders.push_back(strRelative);
        }

        KPlanFile planFile;
        planFile.strFilePath = szFilePath;
        planFile.strFileName = szFileName;
        planFile.strDest = strDest;
        planFile.strSha256 = reader.m_strSha256;
        DWORD dwDest = INVALID_FILE_ATTRIBUTES;
        if (!setDests.insert(FoldNameCase(strDest)).second) {
            planFile.chKind = 'D';
        } else {
            dwDest = fnSurvives(strDest) ? GetFileAttributesU8((strGamePath + "\\" + strDest).c_str()) : INVALID_FILE_ATTRIBUTES;
            planFile.chKind = dwDest != INVALID_FILE_ATTRIBUTES && !(dwDest & FILE_ATTRIBUTE_DIRECTORY) ? 'R' : 'N';
        }
        if (dwDest != INVALID_FILE_ATTRIBUTES && (dwDest & FILE_ATTRIBUTE_DIRECTORY)) {
            AddCatalogueLine(pMsgOutput, IDS_COPY_ERR_FOLDER, szFilePath, szFileName);
            return 0;
        }
        pPlan->aFiles.push_back(planFile);
        aFileDests.push_back(strDest);
    }

    for (const KPackageMerge& merge : aMerges) {
        for (const std::string* pstrPath : {&merge.strSource, &merge.strTarget}) {
            DWORD dwRefusal = CheckPackagePackPath(strGamePath.c_str(), strPackagePath.c_str(), *pstrPath);
            if (dwRefusal != ERROR_SUCCESS) {
                std::string strFolder, strName;
                SplitPackagePath(*pstrPath, &strFolder, &strName);
                if (pMsgOutput)
                    AddCopyErrorLine(pMsgOutput, strFolder.c_str(), strName.c_str(), dwRefusal);
                return 0;
            }
        }
        KPlanPack pack;
        pack.strSource = merge.strSource;
        pack.strTarget = s_GameRelative(strGamePath, merge.strTarget);
        // A target that a File replaces or a plug-in folder takes away would be merged into
        // something else than the game's pack: the description is faulty (the rule mendwright-pack
        // applies too).
        if (CheckPackTarget(merge.strTarget, aFileDests) != PACK_TARGET_OK) {
            AddCatalogueLine(pMsgOutput, IDS_DESCRIPTION_FAULTY);
            return 0;
        }
        std::string strSource = strPackagePath + "\\" + merge.strSource;
        if (!PlainFileExists(strSource.c_str())) {
            std::string strFolder, strName;
            SplitPackagePath(merge.strSource, &strFolder, &strName);
            AddCatalogueLine(pMsgOutput, IDS_SOURCE_MISSING, strFolder.c_str(), strName.c_str());
            return 0;
        }
        if (!s_IsSoundPack(strSource) || (!merge.strSha256.empty() && s_FileSha256(strSource) != merge.strSha256)) {
            AddCatalogueLine(pMsgOutput, IDS_PACK_SOURCE_DAMAGED, merge.strSource.c_str());
            return 0;
        }
        std::string strTarget = strGamePath + "\\" + pack.strTarget;
        if (FileInUse(strTarget)) {
            AddCatalogueLine(pMsgOutput, IDS_FILE_IN_USE, strTarget.c_str());
            return 0;
        }
        if (!s_IsSoundPack(strTarget) || !ReadPackState(strTarget, &pack.nLength, &pack.strHeader)) {
            AddCatalogueLine(pMsgOutput, IDS_PACK_TARGET_DAMAGED, merge.strTarget.c_str());
            return 0;
        }
        pPlan->aPacks.push_back(pack);
    }
    if (!aMerges.empty() && !PlainFileExists((strPackagePath + "\\" COBBLEPAK_LIBRARY_NAME).c_str())) {
        AddCatalogueLine(pMsgOutput, IDS_COBBLEPAK_MISSING);
        return 0;
    }
    if (!s_PlanDeletes(pRoot, strGamePath, aFileDests, aMerges, fnSurvives, pMsgOutput, pPlan))
        return 0;
    if (!pPlan->aVersions.empty()) {
        const std::string strVersionFile = GAME_VERSION_FILE;
        if (FileInUse(strGamePath + "\\" + strVersionFile)) {
            AddCatalogueLine(pMsgOutput, IDS_FILE_IN_USE, (strGamePath + "\\" + strVersionFile).c_str());
            return 0;
        }
        if (setDests.count(FoldNameCase(strVersionFile)))
            pPlan->chVersionFile = 'D';
        else
            pPlan->chVersionFile = PlainFileExists((strGamePath + "\\" + strVersionFile).c_str()) ? 'R' : 'N';
    }
    return 1;
}
