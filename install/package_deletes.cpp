#include "install/package_deletes.h"

#include "core/ansi_text.h"
#include "install/package_packs.h"
#include "install/package_rules.h"
#include "install/version_check.h"
#include "xml/xml_document.h"

namespace {

bool s_IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

}  // namespace

bool ReadPackageDeletes(IKXmlNode* pRoot, std::vector<KPackageDelete>* pDeletes, std::string* pstrFault) {
    pDeletes->clear();
    IKXmlNode* pList = pRoot ? pRoot->GetFirstChildByName("DeleteList") : nullptr;
    int nDelete = 0;
    for (IKXmlNode* pDelete = pList ? pList->GetFirstChildByName("Delete") : nullptr; pDelete;
         pDelete = pDelete->GetNextSiblingByName("Delete")) {
        ++nDelete;
        char szPath[KXML_TEXT_SIZE] = {0}, szDigest[KXML_TEXT_SIZE] = {0};
        bool bPath = false, bDigest = false;
        int bFits = ReadPackageField(pDelete, "Path", szPath, &bPath);
        bFits = ReadPackageField(pDelete, "Sha256", szDigest, &bDigest) && bFits;
        std::string strWhere = "Delete " + std::to_string(nDelete);
        if (!bPath || !szPath[0]) {
            *pstrFault = strWhere + ": needs a Path";
            return false;
        }
        if (!bFits) {
            *pstrFault = strWhere + ": the Path is too long";
            return false;
        }
        KPackageDelete del{szPath, szDigest};
        if (bDigest && !IsSha256Text(szDigest)) {
            *pstrFault = strWhere + ": Sha256 is not 64 hex digits";
            return false;
        }
        if (!del.strSha256.empty() && IsFolderDelete(del)) {
            *pstrFault = strWhere + ": a folder has no Sha256";
            return false;
        }
        for (char& ch : del.strSha256)
            ch = ch >= 'A' && ch <= 'F' ? static_cast<char>(ch - 'A' + 'a') : ch;
        pDeletes->push_back(del);
    }
    return true;
}

bool IsFolderDelete(const KPackageDelete& del) {
    return !del.strPath.empty() && s_IsSeparator(del.strPath.back());
}

unsigned long CheckPackageDelete(const char* pszGamePath, const char* pszLauncher, const KPackageDelete& del,
                                 const std::set<std::string>& setWritten) {
    std::string strPath = del.strPath;
    if (IsFolderDelete(del))
        strPath.pop_back();
    if (strPath.empty())
        return PACKAGE_FILE_BAD_NAME;
    unsigned long ulCode = CheckPackagePackPath(pszGamePath, pszGamePath, strPath);
    if (ulCode != PACKAGE_FILE_OK)
        return ulCode;
    std::string strKey = PackagePathKey(strPath);
    if (strKey.empty())
        return PACKAGE_FILE_BAD_NAME;
    if (strKey == PackagePathKey(GAME_VERSION_FILE) || strKey == PackagePathKey(pszLauncher))
        return PACKAGE_DELETE_PROTECTED;
    // Whatever lies below the path sorts right after its key and a backslash.
    std::string strBelow = strKey + "\\";
    auto below = setWritten.lower_bound(strBelow);
    if (setWritten.count(strKey) || (below != setWritten.end() && below->compare(0, strBelow.size(), strBelow) == 0))
        return PACKAGE_DELETE_WRITTEN;
    return PACKAGE_FILE_OK;
}
