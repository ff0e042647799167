// Test helper: stands in for the game's launcher velmora.exe. Records that it was started, with
// its working folder, command line and the id of the process that started it (one line each), in
// "launched.txt" beside itself, in UTF-8 whatever the system's code page, and ends at once.
#include <windows.h>
#include <tlhelp32.h>

#include <string>

// The id of the process that started this one; 0 when unknown.
static DWORD s_ParentId() {
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return 0;
    DWORD dwParent = 0;
    PROCESSENTRY32 process = {};
    process.dwSize = sizeof(process);
    for (BOOL bMore = Process32First(hSnapshot, &process); bMore; bMore = Process32Next(hSnapshot, &process)) {
        if (process.th32ProcessID == GetCurrentProcessId()) {
            dwParent = process.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(hSnapshot);
    return dwParent;
}

// The text in UTF-8.
static std::string s_Utf8(const wchar_t* pwszText) {
    int nLen = WideCharToMultiByte(CP_UTF8, 0, pwszText, -1, nullptr, 0, nullptr, nullptr);
    if (nLen <= 1)
        return std::string();
    std::string strText(static_cast<size_t>(nLen), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pwszText, -1, &strText[0], nLen, nullptr, nullptr);
    strText.resize(static_cast<size_t>(nLen - 1));
    return strText;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    wchar_t wszSelf[MAX_PATH] = {0};
    DWORD dwLen = GetModuleFileNameW(nullptr, wszSelf, MAX_PATH);
    if (!dwLen || dwLen >= MAX_PATH)
        return 1;
    std::wstring wstrFolder(wszSelf, dwLen);
    size_t nSlash = wstrFolder.rfind(L'\\');
    if (nSlash == std::wstring::npos)
        return 1;
    wstrFolder.resize(nSlash + 1);
    // Written under another name and renamed, so that a test waiting for launched.txt never reads
    // it half written.
    const std::wstring wstrRecord = wstrFolder + L"launched.txt";
    const std::wstring wstrTemp = wstrFolder + L"launched.tmp";
    wchar_t wszCurrent[MAX_PATH] = {0};
    GetCurrentDirectoryW(MAX_PATH, wszCurrent);
    const std::string strRecord = s_Utf8(wszCurrent) + "\n" + s_Utf8(GetCommandLineW()) + "\n" +
                                  std::to_string(static_cast<unsigned long>(s_ParentId())) + "\n";
    HANDLE hFile = CreateFileW(wstrTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 1;
    DWORD dwWritten = 0;
    BOOL bWritten = WriteFile(hFile, strRecord.data(), static_cast<DWORD>(strRecord.size()), &dwWritten, nullptr);
    if (!CloseHandle(hFile) || !bWritten || dwWritten != strRecord.size())
        return 1;
    return MoveFileExW(wstrTemp.c_str(), wstrRecord.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
