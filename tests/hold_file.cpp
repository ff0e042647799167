// Test helper: holds a file open without sharing, as a running game holds its files.
// hold_file PATH: opens (or creates) PATH with share mode 0, writes "held" to standard output,
// and keeps the file open until its standard input ends. Exit code 0, or 1 when the file cannot be
// opened.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    HANDLE hFile = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 1;
    DWORD dwWritten = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &dwWritten, nullptr);
    char szBuf[64];
    DWORD dwRead = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), szBuf, sizeof(szBuf), &dwRead, nullptr) && dwRead)
        ;
    CloseHandle(hFile);
    return 0;
}
