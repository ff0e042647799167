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
    std::strcpy(pszSlash + 1, "launched.txt");
    char szCurrent[MAX_PATH] = {0};
    GetCurrentDirectoryA(sizeof(szCurrent), szCurrent);
    FILE* pFile = std::fopen(szSelf, "wb");
    if (!pFile)
        return 1;
    std::fprintf(pFile, "%s\n%s\n", szCurrent, GetCommandLineA());
    std::fclose(pFile);
    return 0;
}
