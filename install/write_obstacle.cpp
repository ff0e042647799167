#include "install/write_obstacle.h"

#include "core/win_text.h"

bool FileInUse(const std::string& strPath) {
    HANDLE hFile = CreateFileU8(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL);
    if (hFile != INVALID_HANDLE_VALUE) {
        CloseHandle(hFile);
        return false;
    }
    return WriteOutcomeOfError(GetLastError()) == KWRITE_IN_USE;
}

bool DiskLacksRoom(const std::string& strPath, long long nBytes) {
    std::string strFolder = strPath.substr(0, strPath.find_last_of('\\') + 1);
    ULARGE_INTEGER free = {};
    return GetDiskFreeSpaceExW(Utf8ToWide(strFolder).c_str(), &free, nullptr, nullptr) &&
           free.QuadPart < static_cast<unsigned long long>(nBytes);
}

int WriteOutcomeOfError(DWORD dwError) {
    if (dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_LOCK_VIOLATION)
        return KWRITE_IN_USE;
    if (dwError == ERROR_DISK_FULL || dwError == ERROR_HANDLE_DISK_FULL)
        return KWRITE_DISK_FULL;
    return KWRITE_FAILED;
}
