#include "install/resource_list.h"

#include <windows.h>
#include <direct.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/folder_exists.h"
#include "core/text_copy.h"

namespace {

// Numbered key triples of a type-1 package: "regkey1".."regkey9" and so on.
const int s_nMaxKeyTriples = 9;
// Start size of the section-name buffer; it grows until the whole list fits.
const DWORD s_dwSectionListStart = 2048;
// No profile text of a real game comes near this; beyond it a list or value is not read further.
const DWORD s_dwProfileBufferLimit = 16 * 1024 * 1024;

// The whole value of pszKey in pszSection ("" when absent). The profile function cuts a value
// that does not fit at an arbitrary byte, so the buffer grows until it holds the value; the
// caller then cuts it to its field on a character boundary.
std::string s_ReadProfileText(const char* pszSection, const char* pszKey, const char* pszIni) {
    std::string strBuffer(256, '\0');
    for (;;) {
        DWORD dwLen = GetPrivateProfileStringA(pszSection, pszKey, "", &strBuffer[0],
                                               static_cast<DWORD>(strBuffer.size()), pszIni);
        if (dwLen + 1 < strBuffer.size() || strBuffer.size() >= s_dwProfileBufferLimit) {
            strBuffer.resize(dwLen);
            return strBuffer;
        }
        strBuffer.resize(strBuffer.size() * 2);
    }
}

// Reads pszKey into a field of uSize bytes, keeping at most uMaxChars bytes of the value.
void s_ReadField(const char* pszSection, const char* pszKey, const char* pszIni, char* pszField,
                 size_t uSize, size_t uMaxChars) {
    std::string strValue = s_ReadProfileText(pszSection, pszKey, pszIni);
    CopyTextCut(pszField, strValue.c_str(), (uMaxChars + 1 < uSize) ? uMaxChars + 1 : uSize);
}

// Every section name of pszIni as the profile function returns them: names separated by NULs,
// the list ended by an empty name. The list is read in full: when it does not fit, the function
// fills the buffer to its size minus 2, and the buffer is doubled.
std::string s_ReadSectionNames(const char* pszIni) {
    std::string strBuffer(s_dwSectionListStart, '\0');
    for (;;) {
        DWORD dwLen = GetPrivateProfileSectionNamesA(&strBuffer[0], static_cast<DWORD>(strBuffer.size()), pszIni);
        if (dwLen + 2 < strBuffer.size() || strBuffer.size() >= s_dwProfileBufferLimit) {
            strBuffer.resize(dwLen);
            strBuffer.append(2, '\0');
            return strBuffer;
        }
        strBuffer.assign(strBuffer.size() * 2, '\0');
    }
}

// Reads the numbered triples 1..9 of a type-1 section up to the first incomplete one.
void s_ReadKeyTriples(const char* pszSection, const char* pszIni, std::vector<KResourceKey>* pKeyList) {
    for (int nNumber = 1; nNumber <= s_nMaxKeyTriples; ++nNumber) {
        char szRegKey[32];
        char szKeyName[32];
        char szExe[32];
        snprintf(szRegKey, sizeof(szRegKey), "%s%d", "regkey", nNumber);
        snprintf(szKeyName, sizeof(szKeyName), "%s%d", "keyname", nNumber);
        snprintf(szExe, sizeof(szExe), "%s%d", "exe", nNumber);

        KResourceKey key = {};
        s_ReadField(pszSection, szRegKey, pszIni, key.szRegKey, sizeof(key.szRegKey), 259);
        s_ReadField(pszSection, szKeyName, pszIni, key.szKeyName, sizeof(key.szKeyName), 127);
        s_ReadField(pszSection, szExe, pszIni, key.szExe, sizeof(key.szExe), 127);
        if (!key.szRegKey[0] || !key.szKeyName[0] || !key.szExe[0])
            return;
        pKeyList->push_back(key);
    }
}

// Replaces every occurrence of pszFrom in *pText by pszTo, left to right without overlap. The
// scan is by bytes: a GBK trail byte '\\' may be taken for a separator, but every folder made from
// such a cut is named by a path whose lead byte and '\\' the system reads back as the one
// character, so the right folders are created all the same.
void s_ReplaceAll(std::string* pText, const char* pszFrom, const char* pszTo) {
    size_t uFromLen = strlen(pszFrom);
    size_t uToLen = strlen(pszTo);
    for (size_t uPos = pText->find(pszFrom); uPos != std::string::npos; uPos = pText->find(pszFrom, uPos + uToLen))
        pText->replace(uPos, uFromLen, pszTo);
}

}  // namespace

KResourceList::KResourceList() {
    m_szResourceIni[0] = '\0';
    m_szResInstallIni[0] = '\0';
}

int KResourceList::Load(const char* pszResourceIni, const char* pszResInstallIni) {
    if (!pszResourceIni || !pszResInstallIni)
        return 0;
    // A cut path would name another file, and a later write would land there: refuse it and
    // keep nothing of an earlier load.
    m_EntryList.clear();
    if (strlen(pszResourceIni) >= sizeof(m_szResourceIni) || strlen(pszResInstallIni) >= sizeof(m_szResInstallIni)) {
        m_szResourceIni[0] = '\0';
        m_szResInstallIni[0] = '\0';
        return 0;
    }
    CopyTextCut(m_szResourceIni, pszResourceIni, sizeof(m_szResourceIni));
    CopyTextCut(m_szResInstallIni, pszResInstallIni, sizeof(m_szResInstallIni));

    KResourceEntry entry = {};
    std::string strNames = s_ReadSectionNames(m_szResourceIni);
    for (const char* pszName = strNames.c_str(); *pszName; pszName += strlen(pszName) + 1) {
        // A name that does not fit szName is skipped: cut, it would name another section of
        // resinstall.ini.
        if (strlen(pszName) >= sizeof(entry.szName))
            continue;
        entry.KeyList.clear();
        CopyTextCut(entry.szName, pszName, sizeof(entry.szName));
        s_ReadField(pszName, "title", m_szResourceIni, entry.szTitle, sizeof(entry.szTitle), 127);
        s_ReadField(pszName, "descript", m_szResourceIni, entry.szDescript, sizeof(entry.szDescript), 127);
        s_ReadField(pszName, "downloadworker", m_szResourceIni, entry.szDownloadWorker,
                    sizeof(entry.szDownloadWorker), 127);
        entry.nType = static_cast<int>(GetPrivateProfileIntA(pszName, "type", 0, m_szResourceIni));
        if (entry.nType == 1)
            s_ReadKeyTriples(pszName, m_szResourceIni, &entry.KeyList);
        m_EntryList.push_back(entry);
    }

    for (KResourceEntry& resource : m_EntryList) {
        resource.nInstall = static_cast<int>(GetPrivateProfileIntA(resource.szName, "install", 0, m_szResInstallIni));
        resource.nSkip = static_cast<int>(GetPrivateProfileIntA(resource.szName, "skip", 0, m_szResInstallIni));
    }
    return 1;
}

int KResourceList::GetInstallState(const char* pszName) const {
    if (!pszName)
        return -1;
    for (const KResourceEntry& entry : m_EntryList) {
        if (strcmp(entry.szName, pszName) == 0)
            return entry.nInstall;
    }
    return -1;
}

int KResourceList::SetInstallState(int nIndex, int nValue) {
    if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_EntryList.size())
        return 0;
    KResourceEntry& entry = m_EntryList[static_cast<size_t>(nIndex)];
    entry.nInstall = (nValue < -1 || nValue > 2) ? -1 : nValue;
    char szValue[16];
    snprintf(szValue, sizeof(szValue), "%d", nValue);
    return WritePrivateProfileStringA(entry.szName, "install", szValue, m_szResInstallIni) ? 1 : 0;
}

int KResourceList::SetInstallStateByName(const char* pszName, int nValue) {
    if (!pszName)
        return 0;
    for (size_t i = 0; i < m_EntryList.size(); ++i) {
        if (strcmp(m_EntryList[i].szName, pszName) == 0)
            return SetInstallState(static_cast<int>(i), nValue);
    }
    return 0;
}

int CreateFolderPath(const char* pszPath) {
    if (!pszPath)
        return 0;
    std::string strPath = pszPath;
    s_ReplaceAll(&strPath, "\\\\", "\\");
    s_ReplaceAll(&strPath, "//", "\\");
    s_ReplaceAll(&strPath, "/", "\\");
    if (!strPath.empty() && strPath.back() == '\\')
        strPath.pop_back();
    size_t uLast = strPath.rfind('\\');
    if (uLast == std::string::npos)
        return 0;
    std::string strParent = strPath.substr(0, uLast + 1);
    if (!FolderExists(strParent.c_str()) && !CreateFolderPath(strParent.c_str()))
        return 0;
    return _mkdir(pszPath) == 0 ? 1 : 0;
}
