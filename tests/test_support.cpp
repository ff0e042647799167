#include "tests/test_support.h"

#include <algorithm>
#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <fstream>
#include <sstream>

#include "core/win_text.h"
#include "pack_format.h"

namespace mwtest {

KTempDir::KTempDir() {
    std::string strTemp;
    GetTempFolderU8(&strTemp);
    static unsigned s_uCounter = 0;
    for (;;) {
        std::string strName = strTemp + "mwtest_" + std::to_string(GetCurrentProcessId()) + "_" +
                              std::to_string(GetTickCount()) + "_" + std::to_string(++s_uCounter);
        if (CreateDirectoryU8(strName.c_str())) {
            m_strPath = strName;
            break;
        }
    }
}

KTempDir::~KTempDir() {
    RemoveTree(m_strPath);
}

std::string KTempDir::operator/(const std::string& strRelative) const {
    return m_strPath + "\\" + strRelative;
}

bool RemoveTree(const std::string& strPath) {
    DWORD dwAttributes = GetFileAttributesU8(strPath.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return true;
    SetFileAttributesU8(strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return DeleteFileU8(strPath.c_str()) != 0;
    // A link is removed itself, never followed.
    if (!(dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW findData;
        HANDLE hFind = FindFirstFileU8((strPath + "\\*").c_str(), &findData);
        if (hFind != INVALID_HANDLE_VALUE) {
            do {
                std::string strName = WideToUtf8(findData.cFileName);
                if (strName != "." && strName != "..")
                    RemoveTree(strPath + "\\" + strName);
            } while (FindNextFileW(hFind, &findData));
            FindClose(hFind);
        }
    }
    return RemoveDirectoryU8(strPath.c_str()) != 0;
}

bool MakeFolders(const std::string& strPath) {
    for (size_t uPos = strPath.find('\\', 3); ; uPos = strPath.find('\\', uPos + 1)) {
        std::string strPrefix = strPath.substr(0, uPos);
        CreateDirectoryU8(strPrefix.c_str());
        if (uPos == std::string::npos)
            break;
    }
    DWORD dwAttributes = GetFileAttributesU8(strPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteFileBytes(const std::string& strPath, const std::string& strBytes) {
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD dwWritten = 0;
    BOOL bOk = WriteFile(hFile, strBytes.data(), static_cast<DWORD>(strBytes.size()), &dwWritten, nullptr);
    CloseHandle(hFile);
    return bOk && dwWritten == strBytes.size();
}

std::string ReadFileBytes(const std::string& strPath, bool* pbOk) {
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    if (pbOk)
        *pbOk = hFile != INVALID_HANDLE_VALUE;
    std::string strBytes;
    if (hFile == INVALID_HANDLE_VALUE)
        return strBytes;
    char szChunk[65536];
    DWORD dwRead = 0;
    while (ReadFile(hFile, szChunk, sizeof(szChunk), &dwRead, nullptr) && dwRead > 0)
        strBytes.append(szChunk, dwRead);
    CloseHandle(hFile);
    return strBytes;
}

bool FileExists(const std::string& strPath) {
    return GetFileAttributesU8(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

static std::wstring s_Wide(const std::string& strUtf8) {
    int nLen = MultiByteToWideChar(CP_UTF8, 0, strUtf8.data(), static_cast<int>(strUtf8.size()), nullptr, 0);
    std::wstring wstrText(static_cast<size_t>(nLen), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, strUtf8.data(), static_cast<int>(strUtf8.size()), &wstrText[0], nLen);
    return wstrText;
}

std::string Ansi(const std::string& strUtf8) {
    std::wstring wstrText = s_Wide(strUtf8);
    int nLen = WideCharToMultiByte(CP_ACP, 0, wstrText.data(), static_cast<int>(wstrText.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string strText(static_cast<size_t>(nLen), '\0');
    WideCharToMultiByte(CP_ACP, 0, wstrText.data(), static_cast<int>(wstrText.size()), &strText[0], nLen, nullptr,
                        nullptr);
    return strText;
}

std::string Gbk(const std::string& strUtf8) {
    return Utf8ToCodePage(CP_GBK, strUtf8);
}

std::string Utf16WithBom(const std::string& strUtf8) {
    std::wstring wstrText = s_Wide(strUtf8);
    std::string strBytes("\xFF\xFE", 2);
    for (wchar_t wc : wstrText) {
        strBytes += static_cast<char>(wc & 0xFF);
        strBytes += static_cast<char>((wc >> 8) & 0xFF);
    }
    return strBytes;
}

KLogCapture::KLogCapture() : m_strFile(m_Dir / "engine.log") {
    SetEnvironmentVariableW(L"ENGINE_LOG", Utf8ToWide(m_strFile).c_str());
}

KLogCapture::~KLogCapture() {
    SetEnvironmentVariableW(L"ENGINE_LOG", nullptr);
}

std::vector<std::string> KLogCapture::Lines() const {
    std::vector<std::string> lines;
    std::istringstream text(ReadFileBytes(m_strFile));
    std::string strLine;
    while (std::getline(text, strLine))
        lines.push_back(strLine);
    return lines;
}

std::string ProgramFolder() {
    std::string strSelf;
    GetModulePathU8(nullptr, &strSelf);
    const char* szSelf = strSelf.c_str();
    std::string strFolder = szSelf;
    return strFolder.substr(0, strFolder.rfind('\\'));
}

KHelperProcess::KHelperProcess(const std::string& strExe, const std::string& strArguments) {
    std::string strCommand = "\"" + ProgramFolder() + "\\" + strExe + "\" " + strArguments;

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE hInputRead = nullptr;
    HANDLE hInputWrite = nullptr;
    HANDLE hOutputRead = nullptr;
    HANDLE hOutputWrite = nullptr;
    if (!CreatePipe(&hInputRead, &hInputWrite, &inherit, 0))
        return;
    m_hInputWrite = hInputWrite;
    if (!CreatePipe(&hOutputRead, &hOutputWrite, &inherit, 0)) {
        CloseHandle(hInputRead);
        return;
    }
    SetHandleInformation(hInputWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(hOutputRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = hInputRead;
    startup.hStdOutput = hOutputWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    std::wstring wstrCommand = Utf8ToWide(strCommand);
    if (CreateProcessW(nullptr, &wstrCommand[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        m_hProcess = process.hProcess;
        CloseHandle(process.hThread);
    }
    // Only the helper keeps these ends, so that its exit ends the read below.
    CloseHandle(hInputRead);
    CloseHandle(hOutputWrite);
    char szReply[8] = {};
    DWORD dwRead = 0;
    m_bHeld = m_hProcess && ReadFile(hOutputRead, szReply, 5, &dwRead, nullptr) &&
              std::string(szReply, dwRead) == "held\n";
    CloseHandle(hOutputRead);
}

KHelperProcess::~KHelperProcess() {
    Stop();
}

bool KHelperProcess::Stop() {
    if (m_hInputWrite) {
        CloseHandle(m_hInputWrite);
        m_hInputWrite = nullptr;
    }
    if (!m_hProcess)
        return false;
    bool bClean = false;
    if (WaitForSingleObject(m_hProcess, 10000) == WAIT_OBJECT_0) {
        DWORD dwCode = 1;
        bClean = GetExitCodeProcess(m_hProcess, &dwCode) && dwCode == 0;
    } else {
        TerminateProcess(m_hProcess, 1);
    }
    CloseHandle(m_hProcess);
    m_hProcess = nullptr;
    return bClean;
}

static HKEY s_Root(KRegistryRoot eRoot) {
    return eRoot == KRegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

static REGSAM s_View(KRegistryRoot eRoot) {
    if (eRoot != KRegistryRoot::LocalMachineOtherView)
        return 0;
    return sizeof(void*) == 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

KSavedRegistryValue::KSavedRegistryValue(const std::string& strKey, const std::string& strName, KRegistryRoot eRoot)
    : m_strKey(strKey), m_strName(strName), m_eRoot(eRoot) {
    HKEY hKey = nullptr;
    m_bKeyExisted = RegOpenKeyExA(s_Root(m_eRoot), m_strKey.c_str(), 0, KEY_READ | s_View(m_eRoot), &hKey) == ERROR_SUCCESS;
    if (!m_bKeyExisted)
        return;
    DWORD dwType = REG_NONE;
    DWORD dwSize = 0;
    // Saved and put back as the registry holds it (UTF-16 texts), whatever the code page.
    std::wstring wstrName = Utf8ToWide(m_strName);
    m_bValueExisted = RegQueryValueExW(hKey, wstrName.c_str(), nullptr, &dwType, nullptr, &dwSize) == ERROR_SUCCESS;
    m_ulType = dwType;
    if (m_bValueExisted && dwSize) {
        m_strSaved.resize(dwSize);
        RegQueryValueExW(hKey, wstrName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&m_strSaved[0]), &dwSize);
        m_strSaved.resize(dwSize);
    }
    RegCloseKey(hKey);
}

KSavedRegistryValue::~KSavedRegistryValue() {
    Restore();
}

long KSavedRegistryValue::SetBytes(const std::string& strBytes, unsigned long ulType, bool bWide) {
    HKEY hKey = nullptr;
    LONG lResult = RegCreateKeyExA(s_Root(m_eRoot), m_strKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | s_View(m_eRoot), nullptr, &hKey,
                                   nullptr);
    if (lResult != ERROR_SUCCESS)
        return lResult;
    const BYTE* pBytes = reinterpret_cast<const BYTE*>(strBytes.data());
    DWORD dwSize = static_cast<DWORD>(strBytes.size());
    if (bWide)
        lResult = RegSetValueExW(hKey, Utf8ToWide(m_strName).c_str(), 0, ulType, pBytes, dwSize);
    else
        lResult = RegSetValueExA(hKey, m_strName.c_str(), 0, ulType, pBytes, dwSize);
    RegCloseKey(hKey);
    return lResult;
}

long KSavedRegistryValue::Set(const std::string& strBytes, unsigned long ulType) {
    return SetBytes(strBytes, ulType, false);
}

long KSavedRegistryValue::SetText(const std::string& strText) {
    std::wstring wstrText = Utf8ToWide(strText);
    return SetBytes(std::string(reinterpret_cast<const char*>(wstrText.c_str()), (wstrText.size() + 1) * sizeof(wchar_t)),
                    REG_SZ, true);
}

void KSavedRegistryValue::Remove() {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(s_Root(m_eRoot), m_strKey.c_str(), 0, KEY_ALL_ACCESS | s_View(m_eRoot), &hKey) == ERROR_SUCCESS) {
        RegDeleteValueA(hKey, m_strName.c_str());
        RegCloseKey(hKey);
    }
}

bool KSavedRegistryValue::Restore() {
    if (m_bRestored)
        return true;
    m_bRestored = true;
    if (!m_bKeyExisted) {
        LONG lResult = RegDeleteKeyExA(s_Root(m_eRoot), m_strKey.c_str(), s_View(m_eRoot), 0);
        return lResult == ERROR_SUCCESS || lResult == ERROR_FILE_NOT_FOUND;
    }
    if (m_bValueExisted)
        return SetBytes(m_strSaved, m_ulType, true) == ERROR_SUCCESS;
    Remove();
    return true;
}

bool MakeFolderLink(const std::string& strLink, const std::string& strTarget) {
    std::string strCommand;
    if (!UnixPath(strTarget).empty())
        strCommand = "start.exe /wait /unix /bin/ln -s " + UnixPath(strTarget) + " " + UnixPath(strLink);
    else
        strCommand = "cmd.exe /c mklink /J \"" + strLink + "\" \"" + strTarget + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // The Unix program may end after start.exe has returned.
    for (int i = 0; i < 100; ++i) {
        DWORD dwAttributes = GetFileAttributesA(strLink.c_str());
        if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
        Sleep(50);
    }
    return false;
}

std::string UnixPath(const std::string& strPath) {
    typedef char*(CDECL * UnixFileNameFn)(LPCWSTR);
    UnixFileNameFn pfnUnixFileName = reinterpret_cast<UnixFileNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    std::wstring wstrPath = Utf8ToWide(strPath);
    if (!pfnUnixFileName || wstrPath.empty())
        return std::string();
    char* pszUnix = pfnUnixFileName(wstrPath.c_str());
    if (!pszUnix)
        return std::string();
    std::string strUnix = pszUnix;
    HeapFree(GetProcessHeap(), 0, pszUnix);
    return strUnix;
}

static bool s_GetEnvironment(const std::string& strName, std::string* pstrValue) {
    std::wstring wstrName = Utf8ToWide(strName);
    DWORD dwLen = GetEnvironmentVariableW(wstrName.c_str(), nullptr, 0);
    if (!dwLen)
        return false;
    std::wstring wstrValue(dwLen, L'\0');
    dwLen = GetEnvironmentVariableW(wstrName.c_str(), &wstrValue[0], dwLen);
    wstrValue.resize(dwLen);
    *pstrValue = WideToUtf8(wstrValue.c_str());
    return true;
}

KScopedEnvironment::KScopedEnvironment(const std::string& strName, const std::string& strValue) : m_strName(strName) {
    m_bHadValue = s_GetEnvironment(strName, &m_strOld);
    SetEnvironmentVariableW(Utf8ToWide(strName).c_str(), Utf8ToWide(strValue).c_str());
}

KScopedEnvironment::~KScopedEnvironment() {
    SetEnvironmentVariableW(Utf8ToWide(m_strName).c_str(), m_bHadValue ? Utf8ToWide(m_strOld).c_str() : nullptr);
}

KPlantedLibraries::KPlantedLibraries()
    : m_Debugger("Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug", "Debugger") {
    m_Debugger.SetText("");
    for (const std::string& strName : CommonNames()) {
        m_Overrides.emplace_back(new KSavedRegistryValue("Software\\Wine\\DllOverrides", strName.substr(0, strName.rfind('.')),
                                                         KRegistryRoot::CurrentUser));
        m_Overrides.back()->SetText("native,builtin");
    }
}

const std::vector<std::string>& KPlantedLibraries::CommonNames() {
    static const std::vector<std::string> s_Names = {
        "version.dll", "uxtheme.dll",  "dwmapi.dll",  "winmm.dll",   "cryptbase.dll", "profapi.dll",
        "propsys.dll", "userenv.dll", "wtsapi32.dll", "secur32.dll", "dbghelp.dll",   "iphlpapi.dll",
        "msimg32.dll"};
    return s_Names;
}

bool KPlantedLibraries::PlantAll(const std::string& strFolder) {
    bool bPlanted = true;
    for (const std::string& strName : CommonNames())
        bPlanted = Plant(strFolder, strName) && bPlanted;
    return bPlanted;
}

bool KPlantedLibraries::Plant(const std::string& strFolder, const std::string& strName) {
    std::string strCopy = strFolder + "\\" + strName;
    if (!CopyFileW(Utf8ToWide(ProgramFolder() + "\\planted.dll").c_str(), Utf8ToWide(strCopy).c_str(), FALSE))
        return false;
    m_Planted.push_back(strCopy);
    return true;
}

std::vector<std::string> KPlantedLibraries::Loads() const {
    std::vector<std::string> loads;
    for (const std::string& strCopy : m_Planted) {
        std::istringstream record(ReadFileBytes(strCopy + ".loaded"));
        std::string strProgram;
        while (std::getline(record, strProgram))
            loads.push_back(strCopy + ": " + strProgram.substr(0, strProgram.find('\r')));
    }
    return loads;
}

std::string SourcePath(const std::string& strRelative) {
    std::string strPath = std::string("Z:") + MW_SOURCE_DIR + "/" + strRelative;
    for (char& c : strPath)
        if (c == '/')
            c = '\\';
    return strPath;
}

namespace {

void s_SnapshotInto(const std::string& strFolder, const std::string& strRelative, std::map<std::string, std::string>* pTree) {
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileU8((strFolder + "\\*").c_str(), &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string strName = WideToUtf8(findData.cFileName);
        if (strName == "." || strName == "..")
            continue;
        std::string strPath = strFolder + "\\" + strName;
        std::string strKey = strRelative.empty() ? strName : strRelative + "\\" + strName;
        if (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            (*pTree)[strKey] = "dir";
            s_SnapshotInto(strPath, strKey, pTree);
        } else {
            (*pTree)[strKey] = std::string("file ") + (findData.dwFileAttributes & FILE_ATTRIBUTE_READONLY ? "ro " : "rw ") +
                               ReadFileBytes(strPath);
        }
    } while (FindNextFileW(hFind, &findData));
    FindClose(hFind);
}

}  // namespace

void EndProcessTree(void* hProcess, unsigned long dwPid, unsigned uExitCode) {
    // Ids are reused at once under Wine: a process counts as a child only when it names dwPid as
    // its parent and began after it (the prefix's services name long-gone parents).
    FILETIME ftStart = {}, ftUnused;
    bool bStartKnown = GetProcessTimes(hProcess, &ftStart, &ftUnused, &ftUnused, &ftUnused) != 0;
    TerminateProcess(hProcess, uExitCode);
    WaitForSingleObject(hProcess, 10000);
    // Without its start no process can be told to be its child (nor this one never to be).
    if (!bStartKnown)
        return;
    std::vector<DWORD> children;
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL bMore = Process32FirstW(hSnapshot, &entry); bMore; bMore = Process32NextW(hSnapshot, &entry)) {
            if (entry.th32ParentProcessID == dwPid && entry.th32ProcessID != dwPid &&
                entry.th32ProcessID != GetCurrentProcessId())
                children.push_back(entry.th32ProcessID);
        }
        CloseHandle(hSnapshot);
    }
    for (DWORD dwChild : children) {
        HANDLE hChild = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, dwChild);
        if (!hChild)
            continue;
        FILETIME ftChild = {};
        if (GetProcessTimes(hChild, &ftChild, &ftUnused, &ftUnused, &ftUnused) && CompareFileTime(&ftChild, &ftStart) > 0)
            EndProcessTree(hChild, dwChild, uExitCode);
        CloseHandle(hChild);
    }
}

std::map<std::string, std::string> TreeSnapshot(const std::string& strFolder) {
    std::map<std::string, std::string> tree;
    s_SnapshotInto(strFolder, "", &tree);
    return tree;
}

bool CopyTree(const std::string& strFrom, const std::string& strTo) {
    bool bOk = MakeFolders(strTo);
    for (const auto& entry : TreeSnapshot(strFrom)) {
        if (entry.second == "dir")
            bOk = MakeFolders(strTo + "\\" + entry.first) && bOk;
        else  // "file ro " or "file rw ", then the bytes
            bOk = WriteFileBytes(strTo + "\\" + entry.first, entry.second.substr(8)) && bOk;
    }
    return bOk;
}

std::string PackBytes(unsigned long uFirstKey, unsigned long nEntries, char chFill, unsigned long uItemSize) {
    std::vector<std::pair<unsigned long, std::string>> aItems;
    for (unsigned long i = 0; i < nEntries; ++i)
        aItems.emplace_back(uFirstKey + 2 * i, std::string(uItemSize, chFill));
    return PackOf(aItems);
}

std::string PackOf(const std::vector<std::pair<unsigned long, std::string>>& aItems) {
    std::string strData;
    std::vector<cobblepak::PackIndexEntry> vEntries;
    for (const auto& item : aItems) {
        vEntries.push_back({static_cast<std::uint32_t>(item.first), static_cast<std::uint32_t>(32 + strData.size()),
                            static_cast<std::uint32_t>(item.second.size()), 0});
        strData += item.second;
    }
    cobblepak::PackHeader header = {0x4B434150, static_cast<std::uint32_t>(aItems.size()),
                                    static_cast<std::uint32_t>(32 + strData.size()), 32, {7, 7, 7}};
    std::string strPack(32, '\0');
    cobblepak::EncodePackHeader(header, reinterpret_cast<std::uint8_t*>(&strPack[0]));
    strPack += strData;
    std::vector<std::uint8_t> vIndex;
    cobblepak::EncodePackIndex(vEntries.data(), vEntries.size(), vIndex);
    strPack.append(vIndex.begin(), vIndex.end());
    return strPack;
}

namespace {

// The header and index of a pack; false when it is not one.
bool s_ReadPackIndex(const std::string& strPack, cobblepak::PackHeader* pHeader,
                     std::vector<cobblepak::PackIndexEntry>* pEntries) {
    if (strPack.size() < 32)
        return false;
    *pHeader = cobblepak::DecodePackHeader(reinterpret_cast<const std::uint8_t*>(strPack.data()));
    if (cobblepak::CheckPackLayout(*pHeader, static_cast<std::int64_t>(strPack.size())))
        return false;
    pEntries->clear();
    for (std::uint32_t i = 0; i < pHeader->uEntryCount; ++i)
        pEntries->push_back(cobblepak::DecodePackIndexEntry(
            reinterpret_cast<const std::uint8_t*>(strPack.data()) + pHeader->uIndexOffset + 16 * static_cast<size_t>(i)));
    return true;
}

}  // namespace

std::map<unsigned long, std::string> PackItems(const std::string& strPack, const std::string& strLayout) {
    std::map<unsigned long, std::string> items;
    cobblepak::PackHeader header, layoutHeader;
    std::vector<cobblepak::PackIndexEntry> vEntries, vLayout;
    const std::string& strReference = strLayout.empty() ? strPack : strLayout;
    if (!s_ReadPackIndex(strPack, &header, &vEntries) || !s_ReadPackIndex(strReference, &layoutHeader, &vLayout))
        return items;
    // Each key's extent in the layout: up to the next item's position, or to the index.
    std::map<unsigned long, std::uint32_t> extents;
    std::vector<std::uint32_t> positions;
    for (const auto& entry : vLayout)
        positions.push_back(entry.uDataPos);
    std::sort(positions.begin(), positions.end());
    for (const auto& entry : vLayout) {
        auto next = std::upper_bound(positions.begin(), positions.end(), entry.uDataPos);
        extents[entry.uKey] = (next == positions.end() ? layoutHeader.uIndexOffset : *next) - entry.uDataPos;
    }
    for (const auto& entry : vEntries) {
        std::uint32_t uExtent = extents.count(entry.uKey) ? extents[entry.uKey] : 0;
        std::string strItem = entry.uDataPos <= strPack.size() ? strPack.substr(entry.uDataPos, uExtent) : std::string();
        items[entry.uKey] = std::to_string(entry.uWord2) + "/" + std::to_string(entry.uWord3) + "/" + strItem;
    }
    return items;
}

}  // namespace mwtest
