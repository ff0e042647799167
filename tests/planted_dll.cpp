// Test helper: a library planted beside a program under the name of a common system library
// (version.dll, uxtheme.dll, ...). When a process loads it, it appends that program's path and a
// line end to "<its own file>.loaded" beside itself and lets the load go on, so that a test sees
// every load, at start or later. It exports nothing: a program that calls into it crashes, which
// a test would see as well.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
    if (dwReason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t wszRecord[MAX_PATH + 8] = {0};
    DWORD dwLen = GetModuleFileNameW(hInstance, wszRecord, MAX_PATH);
    if (!dwLen || dwLen >= MAX_PATH)
        return TRUE;
    lstrcatW(wszRecord, L".loaded");
    HANDLE hRecord = CreateFileW(wszRecord, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hRecord == INVALID_HANDLE_VALUE)
        return TRUE;
    char szProgram[MAX_PATH + 2] = {0};
    DWORD dwProgram = GetModuleFileNameA(nullptr, szProgram, MAX_PATH);
    if (dwProgram < MAX_PATH) {
        lstrcatA(szProgram, "\r\n");
        DWORD dwWritten = 0;
        WriteFile(hRecord, szProgram, dwProgram + 2, &dwWritten, nullptr);
    }
    CloseHandle(hRecord);
    return TRUE;
}
