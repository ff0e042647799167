#include "core/game_folder_check.h"

#include <windows.h>

#include <string>

#include "core/folder_exists.h"
#include "core/program_folder.h"
#include "core/win_text.h"

namespace {

bool s_IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The position after the next separator at or after uPos; npos when there is none.
size_t s_AfterNextSeparator(const std::string& strPath, size_t uPos) {
    for (size_t i = uPos; i < strPath.size(); ++i) {
        if (s_IsSeparator(strPath[i]))
            return i + 1;
    }
    return std::string::npos;
}

// strPath without backslashes at its end.
std::string s_WithoutTrailingSeparators(std::string strPath) {
    for (;;) {
        const char* pszLast = FindLastSeparator(strPath.c_str());
        if (strPath.empty() || !pszLast || static_cast<size_t>(pszLast - strPath.c_str()) != strPath.size() - 1)
            return strPath;
        strPath.pop_back();
    }
}

}  // namespace

int CanHoldGame(const char* pszPath) {
    if (!pszPath || !pszPath[0])
        return 0;
    std::string strPath = pszPath;
    bool bDrive = strPath.size() >= 3 && ((strPath[0] >= 'A' && strPath[0] <= 'Z') || (strPath[0] >= 'a' && strPath[0] <= 'z')) &&
                  strPath[1] == ':' && s_IsSeparator(strPath[2]);
    bool bShare = strPath.size() >= 3 && s_IsSeparator(strPath[0]) && s_IsSeparator(strPath[1]) &&
                  !s_IsSeparator(strPath[2]) && strPath[2] != '?' && strPath[2] != '.';
    // A folder named relative to the current folder (or drive) is whatever that happens to be.
    if (!bDrive && !bShare)
        return 0;

    // "C:\game\.." is the root too: the full path decides.
    std::string strFull;
    if (!GetFullPathU8(pszPath, &strFull))
        return 0;
    strFull = s_WithoutTrailingSeparators(strFull);
    if (bDrive && strFull.size() <= 2)
        return 0;
    if (bShare) {
        // \\server\share\folder: at least one component after the share.
        size_t uShare = s_AfterNextSeparator(strFull, 2);
        size_t uFolder = uShare == std::string::npos ? uShare : s_AfterNextSeparator(strFull, uShare);
        if (uFolder == std::string::npos || uFolder >= strFull.size())
            return 0;
    }
    return FolderExists(pszPath);
}
