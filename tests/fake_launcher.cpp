// Test helper: stands in for the game's launcher velmora.exe. Records that it was started, with
// its working folder, command line and the id of the process that started it (one line each), in
// "launched.txt" beside itself, and ends at once.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

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

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char szSelf[MAX_PATH] = {0};
    DWORD dwLen = GetModuleFileNameA(nullptr, szSelf, sizeof(szSelf));
    if (!dwLen || dwLen >= sizeof(szSelf))
        return 1;
    char* pszSlash = std::strrchr(szSelf, '\\');
    if (!pszSlash)
        return 1;
    // Written under another name and renamed, so that a test waiting for launched.txt never reads
    // it half written.
    char szRecord[MAX_PATH];
    std::strcpy(pszSlash + 1, "launched.txt");
    std::strcpy(szRecord, szSelf);
    std::strcpy(pszSlash + 1, "launched.tmp");
    char szCurrent[MAX_PATH] = {0};
    GetCurrentDirectoryA(sizeof(szCurrent), szCurrent);
    FILE* pFile = std::fopen(szSelf, "wb");
    if (!pFile)
        return 1;
    std::fprintf(pFile, "%s\n%s\n%lu\n", szCurrent, GetCommandLineA(), static_cast<unsigned long>(s_ParentId()));
    if (std::fclose(pFile) != 0)
        return 1;
    return MoveFileExA(szSelf, szRecord, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
