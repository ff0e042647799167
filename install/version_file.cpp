#include "install/version_file.h"

#include <windows.h>

#include "core/win_text.h"

int ReadGameVersionFile(const std::string& strPath, std::string* pstrBytes) {
    pstrBytes->clear();
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL);
    if (hFile == INVALID_HANDLE_VALUE) {
        DWORD dwError = GetLastError();
        return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND ? 1 : 0;
    }
    char achChunk[4096];
    DWORD dwRead = 0;
    BOOL bOk;
    // A version file is small; a huge one is no version file and is not read whole.
    while ((bOk = ReadFile(hFile, achChunk, sizeof(achChunk), &dwRead, nullptr)) && dwRead && pstrBytes->size() < (16u << 20))
        pstrBytes->append(achChunk, dwRead);
    DWORD dwError = GetLastError();
    CloseHandle(hFile);
    SetLastError(dwError);
    return bOk && !dwRead ? 1 : 0;
}

int WriteGameVersionFile(const std::string& strPath, const std::string& strBytes, bool* pbTouched) {
    *pbTouched = false;
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    *pbTouched = true;
    DWORD dwWritten = 0;
    BOOL bOk = WriteFile(hFile, strBytes.data(), static_cast<DWORD>(strBytes.size()), &dwWritten, nullptr) &&
               dwWritten == strBytes.size() && SetEndOfFile(hFile);
    DWORD dwError = GetLastError();
    CloseHandle(hFile);
    SetLastError(dwError);
    return bOk ? 1 : 0;
}
