#include "install/package_packs.h"

#include "install/package_rules.h"
#include "xml/xml_document.h"

bool ReadPackageMerges(IKXmlNode* pRoot, std::vector<KPackageMerge>* pMerges, std::string* pstrFault) {
    pMerges->clear();
    IKXmlNode* pList = pRoot ? pRoot->GetFirstChildByName("PackList") : nullptr;
    int nPack = 0;
    for (IKXmlNode* pPack = pList ? pList->GetFirstChildByName("Pack") : nullptr; pPack;
         pPack = pPack->GetNextSiblingByName("Pack")) {
        ++nPack;
        char szSource[KXML_TEXT_SIZE] = {0}, szTarget[KXML_TEXT_SIZE] = {0}, szDigest[KXML_TEXT_SIZE] = {0};
        bool bSource = false, bTarget = false, bDigest = false;
        int bFits = ReadPackageField(pPack, "Source", szSource, &bSource);
        bFits = ReadPackageField(pPack, "Target", szTarget, &bTarget) && bFits;
        bFits = ReadPackageField(pPack, "SourceSha256", szDigest, &bDigest) && bFits;
        std::string strWhere = "Pack " + std::to_string(nPack);
        if (!bSource || !szSource[0] || !bTarget || !szTarget[0]) {
            *pstrFault = strWhere + ": needs a Source and a Target";
            return false;
        }
        if (!bFits) {
            *pstrFault = strWhere + ": a path is too long";
            return false;
        }
        if (bDigest && !IsSha256Text(szDigest)) {
            *pstrFault = strWhere + ": SourceSha256 is not 64 hex digits";
            return false;
        }
        pMerges->push_back(KPackageMerge{szSource, szTarget, LowerSha256Text(szDigest)});
    }
    return true;
}

void SplitPackagePath(const std::string& strRelative, std::string* pstrFolder, std::string* pstrName) {
    // The last separator found stepping over double-byte characters whole.
    size_t uSplit = 0;
    for (const char* p = strRelative.c_str(); (p = FindPackageBackslash(p)) != nullptr; ++p)
        uSplit = static_cast<size_t>(p - strRelative.c_str()) + 1;
    for (size_t i = 0; i < strRelative.size(); ++i) {
        if (strRelative[i] == '/' && i + 1 > uSplit)
            uSplit = i + 1;  // '/' is below 0x40, where no trail byte lies
    }
    *pstrFolder = strRelative.substr(0, uSplit);
    *pstrName = strRelative.substr(uSplit);
}

unsigned long CheckPackagePackPath(const char* pszGamePath, const char* pszPackagePath, const std::string& strRelative) {
    std::string strFolder, strName;
    SplitPackagePath(strRelative, &strFolder, &strName);
    if (strName.empty() || strRelative[0] == '\\' || strRelative[0] == '/')
        return PACKAGE_FILE_BAD_NAME;
    return CheckListedFile(pszGamePath, pszPackagePath, strFolder.c_str(), strName.c_str());
}

KPackTarget CheckPackTarget(const std::string& strTarget, const std::vector<std::string>& aFileDests) {
    if (IsPluginFolder(PackageFirstComponent(strTarget)))
        return PACK_TARGET_IN_PLUGIN_FOLDER;
    std::string strKey = PackagePathKey(strTarget);
    for (const std::string& strDest : aFileDests) {
        if (PackagePathKey(strDest) == strKey)
            return PACK_TARGET_REPLACED;
    }
    return PACK_TARGET_OK;
}
