// The game folder: where KUpdateInstaller::Init finds it, the resource package list loaded from
// the resource folder of a game folder, and the check before an installation.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/answering_wait.h"
#include "core/folder_exists.h"
#include "core/game_folder_check.h"
#include "core/program_folder.h"
#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/update_installer.h"

namespace {

// Paths live in buffers of this many bytes elsewhere in the installer.
const size_t s_uPathSize = MAX_PATH;

// 1 when two file names are the same to the file system (case-insensitive).
bool s_SameFileName(const char* pszOne, const char* pszOther) {
    wchar_t wszOne[s_uPathSize];
    wchar_t wszOther[s_uPathSize];
    int nOne = MultiByteToWideChar(CP_ACP, 0, pszOne, -1, wszOne, s_uPathSize);
    int nOther = MultiByteToWideChar(CP_ACP, 0, pszOther, -1, wszOther, s_uPathSize);
    return nOne > 0 && nOther > 0 && CompareStringOrdinal(wszOne, -1, wszOther, -1, TRUE) == CSTR_EQUAL;
}

// The handoff file of a package of the unattended start, %TEMP%\<pszName>.ini, as the path of
// the file found under exactly that name; "" when there is none. A short (8.3) alias or any
// other name that reaches a file of another name is not followed: that file is not ours.
std::string s_FindHandoffFile(const char* pszName) {
    char szTemp[s_uPathSize];
    DWORD dwLen = GetTempPathA(sizeof(szTemp), szTemp);
    if (dwLen == 0 || dwLen >= sizeof(szTemp))
        return std::string();
    char szIni[s_uPathSize];
    int nLen = snprintf(szIni, sizeof(szIni), GetString(IDS_HANDOFF_INI_FORMAT), szTemp, pszName);
    if (nLen < 0 || static_cast<size_t>(nLen) >= sizeof(szIni))
        return std::string();
    WIN32_FIND_DATAA found = {};
    HANDLE hFind = FindFirstFileA(szIni, &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return std::string();
    FindClose(hFind);
    const char* pszAsked = FindLastSeparator(szIni) + 1;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !s_SameFileName(found.cFileName, pszAsked))
        return std::string();
    // szTemp ends with its separator.
    return std::string(szTemp) + found.cFileName;
}

// The folder named under "GamePath" in the product's section of a handoff file; "" when there is
// none, or when it is too long to be used as a folder.
std::string s_ReadHandoffGamePath(const std::string& strIni) {
    // One byte more than a path may have, so that a value too long to be a path shows.
    char szPath[s_uPathSize + 1];
    GetPrivateProfileStringA(GetString(IDS_PRODUCT_NAME), GetString(IDS_GAME_PATH_KEY), "", szPath,
                             sizeof(szPath), strIni.c_str());
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

// resource.ini and resinstall.ini of <strGame>\resource\ into *pList; see LoadResourceList.
// Touches nothing else, so that it may run on another thread.
int s_LoadResourceList(const std::string& strGame, KResourceList* pList) {
    if (!CanHoldGame(strGame.c_str())) {
        pList->m_EntryList.clear();
        return 0;
    }
    std::string strFolder = strGame + "\\resource\\";
    std::string strResourceIni = strFolder + "resource.ini";
    std::string strResInstallIni = strFolder + "resinstall.ini";
    // Load refuses paths that do not fit its fields; nothing is created for them. Only the one
    // folder inside the existing game folder is ever created.
    if (strResourceIni.size() < s_uPathSize && strResInstallIni.size() < s_uPathSize)
        CreateDirectoryA(strFolder.c_str(), nullptr);
    return pList->Load(strResourceIni.c_str(), strResInstallIni.c_str());
}

BOOL CALLBACK s_EndQuestion(HWND hWnd, LPARAM lParam) {
    char szClass[16] = {0};
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    if (GetWindow(hWnd, GW_OWNER) == reinterpret_cast<HWND>(lParam) && strcmp(szClass, "#32770") == 0)
        PostMessageA(hWnd, WM_COMMAND, IDNO, 0);
    return TRUE;
}

}  // namespace

int KUpdateInstaller::FindGamePath() {
    m_bPathFromIni = 0;
    m_HandoffFilesRead.clear();
    // Every handoff file is read, so that each one read as such is known (and later deleted);
    // the first folder named wins.
    for (const KResourceEntry& handoff : m_HandoffList) {
        std::string strIni = s_FindHandoffFile(handoff.szName);
        std::string strPath = strIni.empty() ? std::string() : s_ReadHandoffGamePath(strIni);
        if (strPath.empty())
            continue;
        m_HandoffFilesRead.push_back(strIni);
        if (!m_bPathFromIni) {
            m_strGamePath = strPath;
            m_bPathFromIni = 1;
        }
    }
    if (!m_bPathFromIni)
        s_ReadRegistryGamePath(&m_strGamePath);

    // A folder named by a source is kept even when it cannot be used: the player is told and
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

    int bUsable = CanHoldGame(m_strGamePath.c_str());
    if (m_pMsgOutput)
        m_pMsgOutput->AddMessage(GetString(bUsable ? IDS_GAME_PATH_FOUND : IDS_GAME_PATH_WRONG));

    if (m_strGamePath.empty())
        return 1;
    return LoadResourceList(m_strGamePath.c_str()) ? 1 : 0;
}

int KUpdateInstaller::LoadResourceList(const char* pszGamePath) {
    if (!pszGamePath || !pszGamePath[0]) {
        m_ResourceList.m_EntryList.clear();
        return 0;
    }
    return s_LoadResourceList(pszGamePath, &m_ResourceList);
}

int KUpdateInstaller::CheckResources(const char* pszGamePath) {
    int bLoaded = 0;
    if (pszGamePath && pszGamePath[0]) {
        // The caller's text may change while this thread answers its windows.
        std::string strGame = pszGamePath;
        KResourceList list;
        bLoaded = RunWhileAnswering(m_hQuestionOwner, [&strGame, &list]() { return s_LoadResourceList(strGame, &list); });
        if (m_bChecksCancelled)
            return 2;
        m_ResourceList = std::move(list);
    }
    if (!bLoaded) {
        // Without this line the Update command would end with no word of why.
        if (m_pMsgOutput)
            m_pMsgOutput->AddMessage(GetString(IDS_GAME_PATH_WRONG));
        return 1;
    }
    for (const KResourceEntry& handoff : m_HandoffList) {
        if (m_ResourceList.GetInstallState(handoff.szName) == 1) {
            // Modal to the dialog: Update cannot be pressed again behind it.
            m_bQuestionOpen = 1;
            int nAnswer = MessageBoxA(m_hQuestionOwner, GetString(IDS_REINSTALL_QUESTION), GetString(IDS_PRODUCT_NAME),
                                      MB_YESNO);
            m_bQuestionOpen = 0;
            // Anything but Yes (a box that could not be shown included) stops the installation,
            // and so does a front end that is ending.
            return nAnswer == IDYES && !m_bChecksCancelled ? 0 : 2;
        }
    }
    return 0;
}

void KUpdateInstaller::CancelChecks() {
    m_bChecksCancelled = 1;
    if (m_bQuestionOpen)
        EnumThreadWindows(GetCurrentThreadId(), s_EndQuestion, reinterpret_cast<LPARAM>(m_hQuestionOwner));
}
