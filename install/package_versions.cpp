#include "install/package_versions.h"

#include <cstring>

#include "core/ansi_text.h"
#include "install/package_rules.h"
#include "xml/xml_document.h"

namespace {

// An INI key the profile functions read back as written: no blanks around it, no "=", no
// brackets, no comment mark first, no control characters.
bool s_IsIniKey(const std::string& strKey) {
    if (strKey.empty() || strKey[0] == ' ' || strKey[0] == '\t' || strKey[0] == ';' || strKey.back() == ' ' ||
        strKey.back() == '\t')
        return false;
    for (char ch : strKey) {
        if (static_cast<unsigned char>(ch) < 0x20 || std::strchr("=[]", ch))
            return false;
    }
    return true;
}

}  // namespace

int ParseGameVersion(const char* pszText, KGameVersion* pVersion) {
    KGameVersion version = {{0, 0, 0, 0}};
    int nPart = 0;
    const char* p = pszText;
    for (;;) {
        if (nPart == 4 || *p < '0' || *p > '9')
            return 0;
        unsigned long long ullValue = 0;
        for (; *p >= '0' && *p <= '9'; ++p) {
            ullValue = ullValue * 10 + static_cast<unsigned long long>(*p - '0');
            if (ullValue > 0xFFFFFFFFull)
                return 0;
        }
        version.aulParts[nPart++] = static_cast<unsigned long>(ullValue);
        if (*p == '\0')
            break;
        if (*p++ != '.')
            return 0;
    }
    *pVersion = version;
    return 1;
}

int CompareGameVersions(const KGameVersion& one, const KGameVersion& two) {
    for (int i = 0; i < 4; ++i) {
        if (one.aulParts[i] != two.aulParts[i])
            return one.aulParts[i] < two.aulParts[i] ? -1 : 1;
    }
    return 0;
}

int JudgeGameVersion(const char* pszGame, const KPackageVersion& package) {
    if (!pszGame)
        return package.bBase ? KVERSION_MISSING : KVERSION_FITS;
    KGameVersion game;
    if (!ParseGameVersion(pszGame, &game))
        return KVERSION_UNREADABLE;
    int nToVersion = CompareGameVersions(game, package.version);
    if (nToVersion > 0)
        return KVERSION_PACKAGE_OLDER;
    if (nToVersion == 0)
        return KVERSION_SAME;
    if (!package.bBase)
        return KVERSION_FITS;
    int nToBase = CompareGameVersions(game, package.base);
    if (nToBase < 0)
        return KVERSION_GAME_TOO_OLD;
    return nToBase > 0 ? KVERSION_OTHER_BASE : KVERSION_FITS;
}

bool ReadPackageVersions(IKXmlNode* pRoot, std::vector<KPackageVersion>* pVersions, std::string* pstrFault) {
    pVersions->clear();
    IKXmlNode* pList = pRoot ? pRoot->GetFirstChildByName("VersionInfoList") : nullptr;
    int nInfo = 0;
    for (IKXmlNode* pInfo = pList ? pList->GetFirstChildByName("VersionInfo") : nullptr; pInfo;
         pInfo = pInfo->GetNextSiblingByName("VersionInfo")) {
        ++nInfo;
        char szApplication[KXML_TEXT_SIZE] = {0}, szVersion[KXML_TEXT_SIZE] = {0}, szBase[KXML_TEXT_SIZE] = {0};
        bool bApplication = false, bVersion = false, bBase = false;
        int bFits = ReadPackageField(pInfo, "Application", szApplication, &bApplication);
        bFits = ReadPackageField(pInfo, "Version", szVersion, &bVersion) && bFits;
        bFits = ReadPackageField(pInfo, "BaseVersion", szBase, &bBase) && bFits;
        if (!bVersion && !bBase)
            continue;
        std::string strWhere = "VersionInfo " + std::to_string(nInfo);
        KPackageVersion entry;
        entry.strApplication = szApplication;
        entry.strVersion = szVersion;
        entry.bBase = bBase;
        entry.strBase = szBase;
        if (!bFits || !s_IsIniKey(entry.strApplication)) {
            *pstrFault = strWhere + ": Application \"" + entry.strApplication + "\" cannot name a key of version.ini";
            return false;
        }
        if (!bVersion || !ParseGameVersion(szVersion, &entry.version)) {
            *pstrFault = strWhere + " (" + entry.strApplication + "): Version \"" + szVersion +
                         "\" is not a version number (1 to 4 decimal parts)";
            return false;
        }
        if (bBase && !ParseGameVersion(szBase, &entry.base)) {
            *pstrFault = strWhere + " (" + entry.strApplication + "): BaseVersion \"" + szBase +
                         "\" is not a version number (1 to 4 decimal parts)";
            return false;
        }
        if (bBase && CompareGameVersions(entry.base, entry.version) >= 0) {
            *pstrFault = strWhere + " (" + entry.strApplication + "): BaseVersion " + szBase +
                         " is not older than Version " + szVersion;
            return false;
        }
        // Keys of version.ini are one key in any letter case: two versions for one of them
        // cannot both be checked and written.
        for (const KPackageVersion& earlier : *pVersions) {
            if (FoldNameCase(earlier.strApplication) == FoldNameCase(entry.strApplication)) {
                *pstrFault = strWhere + " (" + entry.strApplication + "): an earlier VersionInfo names the same Application";
                return false;
            }
        }
        pVersions->push_back(entry);
    }
    return true;
}
