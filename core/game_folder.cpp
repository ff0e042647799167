// The game folder: where KUpdateInstaller::Init finds it, the resource package list loaded from
// the resource folder of a game folder, and the check before an installation.
#include <windows.h>
#include <shlobj.h>

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
#include "core/win_text.h"

namespace {

// Paths are limited to this many UTF-16 units elsewhere in the installer.
const size_t s_uPathSize = MAX_PATH;

// 1 when two file names are the same to the file system (case-insensitive).
bool s_SameFileName(const wchar_t* pwszOne, const char* pszOther) {
    std::wstring wstrOther = Utf8ToWide(pszOther);
    return pwszOne[0] && !wstrOther.empty() && CompareStringOrdinal(pwszOne, -1, wstrOther.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The handoff file of a package of the unattended start, %TEMP%\<pszName>.ini, as the path of
// the file found under exactly that name; "" when there is none. A short (8.3) alias or any
// other name that reaches a file of another name is not followed: that file is not ours.
std::string s_FindHandoffFile(const char* pszName) {
    std::string strTemp;
    if (!GetTempFolderU8(&strTemp))
        return std::string();
    char szIni[MW_PATH_BYTES];
    int nLen = snprintf(szIni, sizeof(szIni), GetString(IDS_HANDOFF_INI_FORMAT), strTemp.c_str(), pszName);
    if (nLen < 0 || static_cast<size_t>(nLen) >= sizeof(szIni) || !FitsMaxPath(szIni))
        return std::string();
    WIN32_FIND_DATAW found = {};
    HANDLE hFind = FindFirstFileU8(szIni, &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return std::string();
    FindClose(hFind);
    const char* pszAsked = FindLastSeparator(szIni) + 1;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !s_SameFileName(found.cFileName, pszAsked))
        return std::string();
    // strTemp ends with its separator.
    return strTemp + WideToUtf8(found.cFileName);
}

// The folder named under "GamePath" in the product's section of a handoff file; "" when there is
// none, or when it is too long to be used as a folder.
std::string s_ReadHandoffGamePath(const std::string& strIni) {
    // One unit more than a path may have, so that a value too long to be a path shows. The file
    // is the game's, in the system's ANSI code page, which the wide profile call converts.
    std::string strPath = GetProfileTextU8(GetString(IDS_PRODUCT_NAME), GetString(IDS_GAME_PATH_KEY), "", strIni.c_str(),
                                           s_uPathSize + 1);
    if (!FitsMaxPath(strPath))
        return std::string();
    return strPath;
}

// A REG_EXPAND_SZ text with its environment references (%ProgramFiles%) expanded as the system
// expands them for this process; the text as it was when it does not expand.
std::wstring s_Expand(const std::wstring& wstrText) {
    DWORD dwUnits = ExpandEnvironmentStringsW(wstrText.c_str(), nullptr, 0);
    if (dwUnits == 0)
        return wstrText;
    std::wstring wstrOut(dwUnits, L'\0');
    DWORD dwDone = ExpandEnvironmentStringsW(wstrText.c_str(), &wstrOut[0], dwUnits);
    if (dwDone == 0 || dwDone > dwUnits)
        return wstrText;
    wstrOut.resize(wcslen(wstrOut.c_str()));
    return wstrOut;
}

// The "Path" value of hKey into *pstrPath, as s_ReadRegistryGamePath describes; false when hKey has
// no such value.
bool s_ReadPathValue(HKEY hKey, std::string* pstrPath) {
    DWORD dwSize = 0;
    if (RegQueryValueExW(hKey, L"Path", nullptr, nullptr, nullptr, &dwSize) != ERROR_SUCCESS)
        return false;
    // Zero-filled, so that a second query that fails leaves an empty folder.
    std::vector<char> buffer(dwSize + sizeof(wchar_t), '\0');
    DWORD dwRead = dwSize;
    DWORD dwType = REG_NONE;
    RegQueryValueExW(hKey, L"Path", nullptr, &dwType, reinterpret_cast<BYTE*>(buffer.data()), &dwRead);
    if (dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ) {
        const wchar_t* pwszText = reinterpret_cast<const wchar_t*>(buffer.data());
        size_t uUnits = 0;
        while (uUnits < dwSize / sizeof(wchar_t) && pwszText[uUnits])
            ++uUnits;
        std::wstring wstrText(pwszText, uUnits);
        if (dwType == REG_EXPAND_SZ)
            wstrText = s_Expand(wstrText);
        *pstrPath = WideToUtf8(wstrText.c_str(), static_cast<int>(wstrText.size()));
    } else {
        std::vector<char>::iterator itEnd = std::find(buffer.begin(), buffer.begin() + dwSize, '\0');
        *pstrPath = CodePageToUtf8(CP_ACP, std::string(buffer.begin(), itEnd));
    }
    return true;
}

// The value "Path" of the App Paths key in one view of the registry into *pstrPath; false when that
// view has no such key, or no such value. The key is opened for reading only: a standard user, or
// an administrator without elevation, may read HKEY_LOCAL_MACHINE but not change it.
bool s_ReadRegistryView(REGSAM samView, std::string* pstrPath) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Utf8ToWide(GetString(IDS_APP_PATHS_KEY)).c_str(), 0,
                      KEY_QUERY_VALUE | samView, &hKey) != ERROR_SUCCESS)
        return false;
    bool bFound = s_ReadPathValue(hKey, pstrPath);
    RegCloseKey(hKey);
    return bFound;
}

// The value "Path" of the game launcher's App Paths key up to its first NUL: a text value as
// stored (UTF-16, REG_EXPAND_SZ expanded), any other type as raw bytes of the system's ANSI code
// page, as an ANSI program reads it. Looks in the program's own view of the registry, then in the
// other one: on 64-bit Windows a 32-bit program sees the 32-bit view (Wow6432Node), while the
// game's installer may have registered it in the 64-bit one, and an entry left in one view by a
// game since moved must not hide the other's. The first value whose folder can hold the game wins;
// when none can, the first value found is kept (the player is told and corrects it). Leaves
// *pstrPath alone when no view holds such a value.
void s_ReadRegistryGamePath(std::string* pstrPath) {
    const REGSAM samOtherView = sizeof(void*) == 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    std::string strFirst;
    bool bAny = false;
    for (REGSAM samView : {static_cast<REGSAM>(0), samOtherView}) {
        std::string strPath;
        if (!s_ReadRegistryView(samView, &strPath))
            continue;
        if (CanHoldGame(strPath.c_str())) {
            *pstrPath = strPath;
            return;
        }
        if (!bAny)
            strFirst = strPath;
        bAny = true;
    }
    if (bAny)
        *pstrPath = strFirst;
}

bool s_SamePath(const std::string& strOne, const std::string& strOther) {
    return CompareStringOrdinal(Utf8ToWide(strOne).c_str(), -1, Utf8ToWide(strOther).c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The default folders in the order they are tried: the catalogue's three, then the game's folder
// name of the first under the 32-bit program folder as the system reports it (C:\Program Files
// (x86) for a 32-bit program on 64-bit Windows, where a 32-bit game's installer puts it), and the
// same path on drive D:. A folder already in the list is not tried twice (32-bit Windows).
std::vector<std::string> s_DefaultFolders() {
    std::vector<std::string> folders = {GetString(IDS_DEFAULT_FOLDER_1), GetString(IDS_DEFAULT_FOLDER_2),
                                        GetString(IDS_DEFAULT_FOLDER_3)};
    wchar_t wszPrograms[MAX_PATH] = {0};
    if (SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, wszPrograms) != S_OK ||
        !wszPrograms[0])
        return folders;
    std::string strOnC = WideToUtf8(wszPrograms);
    if (strOnC.back() == '\\')
        strOnC.pop_back();
    strOnC += FindLastSeparator(folders[0].c_str());
    std::string strOnD = strOnC;
    if (strOnD.size() > 2 && strOnD[1] == ':')
        strOnD[0] = 'D';
    for (const std::string& strFolder : {strOnC, strOnD}) {
        if (std::none_of(folders.begin(), folders.end(),
                         [&strFolder](const std::string& strHad) { return s_SamePath(strHad, strFolder); }))
            folders.push_back(strFolder);
    }
    return folders;
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
    if (FitsMaxPath(strResourceIni) && FitsMaxPath(strResInstallIni))
        CreateDirectoryU8(strFolder.c_str());
    return pList->Load(strResourceIni.c_str(), strResInstallIni.c_str());
}

BOOL CALLBACK s_EndQuestion(HWND hWnd, LPARAM lParam) {
    wchar_t wszClass[16] = {0};
    GetClassNameW(hWnd, wszClass, 16);
    if (GetWindow(hWnd, GW_OWNER) == reinterpret_cast<HWND>(lParam) && wcscmp(wszClass, L"#32770") == 0)
        PostMessageW(hWnd, WM_COMMAND, IDNO, 0);
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
        for (const std::string& strFolder : s_DefaultFolders()) {
            if (FolderExists(strFolder.c_str())) {
                m_strGamePath = strFolder;
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
            // Anything but Yes (a box that could not be shown included) stops the installation,
            // and so does a front end that is ending.
            return AskQuestion(IDS_REINSTALL_QUESTION, MB_YESNO) == IDYES ? 0 : 2;
        }
    }
    return 0;
}

int KUpdateInstaller::AskQuestion(int nTextId, unsigned int uType) {
    if (m_bChecksCancelled)
        return 0;
    // Modal to the dialog: Update cannot be pressed again behind it.
    m_bQuestionOpen = 1;
    int nAnswer = MessageBoxW(m_hQuestionOwner, Utf8ToWide(GetString(nTextId)).c_str(),
                              Utf8ToWide(GetString(IDS_PRODUCT_NAME)).c_str(), uType);
    m_bQuestionOpen = 0;
    return m_bChecksCancelled ? 0 : nAnswer;
}

void KUpdateInstaller::CancelChecks() {
    m_bChecksCancelled = 1;
    if (m_bQuestionOpen)
        EnumThreadWindows(GetCurrentThreadId(), s_EndQuestion, reinterpret_cast<LPARAM>(m_hQuestionOwner));
}
