// Test helper: stands in for the game's launcher velmora.exe. Records that it was started, with
// its working folder and command line, in "launched.txt" beside itself, and ends at once.
#include <windows.h>

#include <cstdio>
#include <cstring>

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
    std::fprintf(pFile, "%s\n%s\n", szCurrent, GetCommandLineA());
    if (std::fclose(pFile) != 0)
        return 1;
    return MoveFileExA(szSelf, szRecord, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
