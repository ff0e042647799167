#include "install/resource_list.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/text_copy.h"
#include "core/win_text.h"
#include "install/ini_file.h"

namespace {

// Numbered key triples of a type-1 package: "regkey1".."regkey9" and so on.
const int s_nMaxKeyTriples = 9;

// Reads pszKey into a field of uSize bytes, keeping at most uMaxChars UTF-16 units of the value,
// cut on a character boundary.
void s_ReadField(const KIniFile& ini, int nSection, const char* pszKey, char* pszField, size_t uSize,
                 size_t uMaxChars) {
    std::wstring wstrValue = Utf8ToWide(ini.GetText(nSection, pszKey));
    if (wstrValue.size() > uMaxChars) {
        size_t uKeep = uMaxChars;
        if (uKeep > 0 && wstrValue[uKeep - 1] >= 0xD800 && wstrValue[uKeep - 1] <= 0xDBFF)
            --uKeep;  // never half a surrogate pair
        wstrValue.resize(uKeep);
    }
    CopyTextCut(pszField, WideToUtf8(wstrValue.c_str()).c_str(), uSize);
}

// Reads the numbered triples 1..9 of a type-1 section up to the first incomplete one.
void s_ReadKeyTriples(const KIniFile& ini, int nSection, std::vector<KResourceKey>* pKeyList) {
    for (int nNumber = 1; nNumber <= s_nMaxKeyTriples; ++nNumber) {
        char szRegKey[32];
        char szKeyName[32];
        char szExe[32];
        snprintf(szRegKey, sizeof(szRegKey), "%s%d", "regkey", nNumber);
        snprintf(szKeyName, sizeof(szKeyName), "%s%d", "keyname", nNumber);
        snprintf(szExe, sizeof(szExe), "%s%d", "exe", nNumber);

        KResourceKey key = {};
        s_ReadField(ini, nSection, szRegKey, key.szRegKey, sizeof(key.szRegKey), 259);
        s_ReadField(ini, nSection, szKeyName, key.szKeyName, sizeof(key.szKeyName), 127);
        s_ReadField(ini, nSection, szExe, key.szExe, sizeof(key.szExe), 127);
        if (!key.szRegKey[0] || !key.szKeyName[0] || !key.szExe[0])
            return;
        pKeyList->push_back(key);
    }
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
    if (!FitsMaxPath(pszResourceIni) || !FitsMaxPath(pszResInstallIni)) {
        m_szResourceIni[0] = '\0';
        m_szResInstallIni[0] = '\0';
        return 0;
    }
    CopyTextCut(m_szResourceIni, pszResourceIni, sizeof(m_szResourceIni));
    CopyTextCut(m_szResInstallIni, pszResInstallIni, sizeof(m_szResInstallIni));

    // Each file is read once and looked up in memory: one profile call per key would re-scan
    // the file for every key of every section.
    KIniFile catalogue;
    KIniFile status;
    catalogue.Load(m_szResourceIni);
    status.Load(m_szResInstallIni);

    KResourceEntry entry = {};
    m_EntryList.reserve(catalogue.SectionNames().size());
    for (const std::string& strName : catalogue.SectionNames()) {
        // A name that does not fit szName is skipped: cut, it would name another section of
        // resinstall.ini.
        if (Utf16Length(strName.c_str()) >= 128)
            continue;
        int nSection = catalogue.FindSection(strName.c_str());
        entry.KeyList.clear();
        CopyTextCut(entry.szName, strName.c_str(), sizeof(entry.szName));
        s_ReadField(catalogue, nSection, "title", entry.szTitle, sizeof(entry.szTitle), 127);
        s_ReadField(catalogue, nSection, "descript", entry.szDescript, sizeof(entry.szDescript), 127);
        s_ReadField(catalogue, nSection, "downloadworker", entry.szDownloadWorker, sizeof(entry.szDownloadWorker), 127);
        entry.nType = catalogue.GetInt(nSection, "type", 0);
        if (entry.nType == 1)
            s_ReadKeyTriples(catalogue, nSection, &entry.KeyList);
        int nStatus = status.FindSection(strName.c_str());
        entry.nInstall = status.GetInt(nStatus, "install", 0);
        entry.nSkip = status.GetInt(nStatus, "skip", 0);
        m_EntryList.push_back(entry);
    }
    return 1;
}

int KResourceList::FindEntry(const char* pszName) const {
    if (!pszName)
        return -1;
    std::wstring wstrName = FoldSectionName(pszName);
    for (size_t i = 0; i < m_EntryList.size(); ++i) {
        if (FoldSectionName(m_EntryList[i].szName) == wstrName)
            return static_cast<int>(i);
    }
    return -1;
}

int KResourceList::GetInstallState(const char* pszName) const {
    int nIndex = FindEntry(pszName);
    return nIndex < 0 ? -1 : m_EntryList[static_cast<size_t>(nIndex)].nInstall;
}

int KResourceList::SetInstallState(int nIndex, int nValue) {
    if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_EntryList.size())
        return 0;
    KResourceEntry& entry = m_EntryList[static_cast<size_t>(nIndex)];
    entry.nInstall = (nValue < -1 || nValue > 2) ? -1 : nValue;
    char szValue[16];
    snprintf(szValue, sizeof(szValue), "%d", nValue);
    // The file stays in the system's ANSI code page, as the game writes it: the profile functions
    // keep a file without a byte-order mark in that code page.
    return WriteProfileTextU8(entry.szName, "install", szValue, m_szResInstallIni) ? 1 : 0;
}

int KResourceList::SetInstallStateByName(const char* pszName, int nValue) {
    int nIndex = FindEntry(pszName);
    return nIndex < 0 ? 0 : SetInstallState(nIndex, nValue);
}
