// The game folder: where KUpdateInstaller::Init finds it, and the resource package list loaded
// from its resource folder.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/folder_exists.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/update_installer.h"

namespace {

// Paths live in buffers of this many bytes elsewhere in the installer.
const size_t s_uPathSize = MAX_PATH;

// The folder named under "GamePath" in the handoff file of a package of the unattended start,
// %TEMP%\<pszName>.ini; "" when there is none, or when it is too long to be used as a folder.
std::string s_ReadHandoffGamePath(const char* pszName) {
    char szTemp[s_uPathSize];
    DWORD dwLen = GetTempPathA(sizeof(szTemp), szTemp);
    if (dwLen == 0 || dwLen >= sizeof(szTemp))
        return std::string();
    char szIni[s_uPathSize];
    int nLen = snprintf(szIni, sizeof(szIni), GetString(IDS_HANDOFF_INI_FORMAT), szTemp, pszName);
    if (nLen < 0 || static_cast<size_t>(nLen) >= sizeof(szIni))
        return std::string();
    // One byte more than a path may have, so that a value too long to be a path shows.
    char szPath[s_uPathSize + 1];
    GetPrivateProfileStringA(GetString(IDS_PRODUCT_NAME), GetString(IDS_GAME_PATH_KEY), "", szPath,
                             sizeof(szPath), szIni);
    if (strlen(szPath) >= s_uPathSize)
        return std::string();
    return szPath;
}

// The value "Path" of the game launcher's App Paths key, read as raw bytes up to the first NUL.
// Leaves *pstrPath alone when the key cannot be opened with full access or has no such value.
void s_ReadRegistryGamePath(std::string* pstrPath) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, GetString(IDS_APP_PATHS_KEY), 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
        return;
    DWORD dwSize = 0;
    if (RegQueryValueExA(hKey, "Path", nullptr, nullptr, nullptr, &dwSize) == ERROR_SUCCESS) {
        // Zero-filled, so that a second query that fails leaves an empty folder.
        std::vector<char> buffer(dwSize + 1, '\0');
        DWORD dwRead = dwSize;
        RegQueryValueExA(hKey, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &dwRead);
        std::vector<char>::iterator itEnd = std::find(buffer.begin(), buffer.begin() + dwSize, '\0');
        pstrPath->assign(buffer.begin(), itEnd);
    }
    RegCloseKey(hKey);
}

}  // namespace

int KUpdateInstaller::FindGamePath() {
    m_bPathFromIni = 0;
    for (const KResourceEntry& handoff : m_HandoffList) {
        std::string strPath = s_ReadHandoffGamePath(handoff.szName);
        if (!strPath.empty()) {
            m_strGamePath = strPath;
            m_bPathFromIni = 1;
            break;
        }
    }
    if (!m_bPathFromIni)
        s_ReadRegistryGamePath(&m_strGamePath);

    // A folder named by a source is kept even when it does not exist: the player is told and
    // corrects it in the dialog.
    if (m_strGamePath.empty()) {
        static const int s_nDefaultIds[] = {IDS_DEFAULT_FOLDER_1, IDS_DEFAULT_FOLDER_2, IDS_DEFAULT_FOLDER_3};
        for (int nId : s_nDefaultIds) {
            if (FolderExists(GetString(nId))) {
                m_strGamePath = GetString(nId);
                break;
            }
        }
    }

    if (m_pMsgOutput) {
        int bUsable = !m_strGamePath.empty() && FolderExists(m_strGamePath.c_str());
        m_pMsgOutput->AddMessage(GetString(bUsable ? IDS_GAME_PATH_FOUND : IDS_GAME_PATH_WRONG));
    }

    if (m_strGamePath.empty())
        return 1;
    return LoadResourceList(m_strGamePath.c_str()) ? 1 : 0;
}

int KUpdateInstaller::LoadResourceList(const char* pszGamePath) {
    if (!pszGamePath || !pszGamePath[0])
        return 0;
    // The list belongs to the folder found at start-up; the folder passed in stands in only when
    // none was found (otherwise "\resource\" would name the root of the current drive).
    std::string strFolder = m_strGamePath.empty() ? std::string(pszGamePath) : m_strGamePath;
    strFolder += "\\resource\\";
    std::string strResourceIni = strFolder + "resource.ini";
    std::string strResInstallIni = strFolder + "resinstall.ini";
    // Load refuses paths that do not fit its fields; nothing is created for them.
    if (strResourceIni.size() < s_uPathSize && strResInstallIni.size() < s_uPathSize)
        CreateFolderPath(strFolder.c_str());
    return m_ResourceList.Load(strResourceIni.c_str(), strResInstallIni.c_str());
}

int KUpdateInstaller::CheckResources(const char* pszGamePath) {
    if (!pszGamePath || !LoadResourceList(pszGamePath)) {
        // Without this line the Update command would end with no word of why.
        if (m_pMsgOutput)
            m_pMsgOutput->AddMessage(GetString(IDS_GAME_PATH_WRONG));
        return 1;
    }
    for (const KResourceEntry& handoff : m_HandoffList) {
        if (m_ResourceList.GetInstallState(handoff.szName) == 1) {
            int nAnswer = MessageBoxA(nullptr, GetString(IDS_REINSTALL_QUESTION), GetString(IDS_PRODUCT_NAME), MB_YESNO);
            // Anything but Yes (a box that could not be shown included) stops the installation.
            return nAnswer == IDYES ? 0 : 2;
        }
    }
    return 0;
}
