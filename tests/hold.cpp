// Test helper: takes hold of something the way a running game does, writes "held" to standard
// output and lets go when its standard input ends.
//   hold file PATH       opens (or creates) PATH with share mode 0, as the game holds its files.
//   hold reading PATH    opens the existing PATH for reading, shared for reading only: others
//                        may read it but not write it.
//   hold semaphore NAME  creates "Global\NAME", as a running game client or update holds its own.
//   hold library NAME    loads the library NAME through the ordinary search, the program's folder
//                        first (the control case of the planted-library tests).
// Exit code 0; 1 when the file cannot be opened or the semaphore cannot be created or existed
// already (then it would not be this program's to hold) or the library cannot be loaded; 2 on bad
// arguments.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

HANDLE s_HoldFile(const char* pszPath) {
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
    return hFile == INVALID_HANDLE_VALUE ? nullptr : hFile;
}

HANDLE s_HoldSemaphore(const char* pszName) {
    char szName[MAX_PATH];
    int nLen = snprintf(szName, sizeof(szName), "Global\\%s", pszName);
    if (nLen < 0 || nLen >= static_cast<int>(sizeof(szName)))
        return nullptr;
    HANDLE hSemaphore = CreateSemaphoreA(nullptr, 1, 1, szName);
    if (hSemaphore && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(hSemaphore);
        return nullptr;
    }
    return hSemaphore;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    HANDLE hHeld = nullptr;
    HMODULE hLibrary = nullptr;
    if (strcmp(argv[1], "file") == 0)
        hHeld = s_HoldFile(argv[2]);
    else if (strcmp(argv[1], "reading") == 0)
        hHeld = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    else if (strcmp(argv[1], "semaphore") == 0)
        hHeld = s_HoldSemaphore(argv[2]);
    else if (strcmp(argv[1], "library") == 0)
        hLibrary = LoadLibraryA(argv[2]);
    else
        return 2;
    if (hHeld == INVALID_HANDLE_VALUE)
        hHeld = nullptr;
    if (!hHeld && !hLibrary)
        return 1;
    DWORD dwWritten = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &dwWritten, nullptr);
    char szBuf[64];
    DWORD dwRead = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), szBuf, sizeof(szBuf), &dwRead, nullptr) && dwRead)
        ;
    if (hHeld)
        CloseHandle(hHeld);
    if (hLibrary)
        FreeLibrary(hLibrary);
    return 0;
}
