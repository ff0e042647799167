// Test helper: holds a named semaphore, as a running game client or update holds its own.
// hold_semaphore NAME: creates "Global\NAME", writes "held" to standard output, and keeps it
// until its standard input ends. Exit code 0, or 1 when the semaphore cannot be created or
// existed already (then it would not be this program's to hold).
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    char szName[MAX_PATH];
    int nLen = snprintf(szName, sizeof(szName), "Global\\%s", argv[1]);
    if (nLen < 0 || nLen >= static_cast<int>(sizeof(szName)))
        return 2;
    HANDLE hSemaphore = CreateSemaphoreA(nullptr, 1, 1, szName);
    if (!hSemaphore || GetLastError() == ERROR_ALREADY_EXISTS)
        return 1;
    DWORD dwWritten = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &dwWritten, nullptr);
    char szBuf[64];
    DWORD dwRead = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), szBuf, sizeof(szBuf), &dwRead, nullptr) && dwRead)
        ;
    CloseHandle(hSemaphore);
    return 0;
}
