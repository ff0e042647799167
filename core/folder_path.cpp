#include "core/folder_path.h"

#include <windows.h>

#include <vector>

namespace {

bool s_IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

// Ordinal comparison without regard to case, as NTFS compares names.
bool s_EqualNoCase(const std::string& strA, const std::string& strB) {
    int nA = MultiByteToWideChar(CP_ACP, 0, strA.data(), static_cast<int>(strA.size()), nullptr, 0);
    int nB = MultiByteToWideChar(CP_ACP, 0, strB.data(), static_cast<int>(strB.size()), nullptr, 0);
    if (nA != nB)
        return false;
    if (nA == 0)
        return true;
    std::vector<wchar_t> wA(static_cast<size_t>(nA)), wB(static_cast<size_t>(nB));
    MultiByteToWideChar(CP_ACP, 0, strA.data(), static_cast<int>(strA.size()), wA.data(), nA);
    MultiByteToWideChar(CP_ACP, 0, strB.data(), static_cast<int>(strB.size()), wB.data(), nB);
    return CompareStringOrdinal(wA.data(), nA, wB.data(), nB, TRUE) == CSTR_EQUAL;
}

}  // namespace

std::string StripTrailingSeparators(const std::string& strPath) {
    // The end of the text once each trailing run of real separators is left out.
    size_t uKeep = 0;
    for (size_t i = 0; i < strPath.size(); ++i) {
        if (s_IsSeparator(strPath[i]))
            continue;
        if (IsDBCSLeadByte(static_cast<BYTE>(strPath[i])) && i + 1 < strPath.size())
            ++i;
        uKeep = i + 1;
    }
    std::string strResult = strPath.substr(0, uKeep);
    if (strResult.size() == 2 && strResult[1] == ':' && strPath.size() > 2)
        strResult += '\\';  // a drive root keeps its backslash
    return strResult;
}

std::string NormalFolderPath(const char* pszPath) {
    if (!pszPath || !pszPath[0])
        return std::string();
    char szFull[MAX_PATH];
    DWORD dwLen = GetFullPathNameA(pszPath, MAX_PATH, szFull, nullptr);
    if (!dwLen || dwLen >= MAX_PATH)
        return std::string();
    char szLong[MAX_PATH];
    dwLen = GetLongPathNameA(szFull, szLong, MAX_PATH);
    std::string strPath = StripTrailingSeparators(dwLen && dwLen < MAX_PATH ? szLong : szFull);
    // Each existing component as the file system stores it: "c:\GAME" becomes "C:\Game".
    if (strPath.size() >= 2 && strPath[1] == ':' && strPath[0] >= 'a' && strPath[0] <= 'z')
        strPath[0] = static_cast<char>(strPath[0] - 'a' + 'A');
    std::string strStored = strPath.substr(0, strPath.find('\\') == std::string::npos ? strPath.size() : strPath.find('\\') + 1);
    size_t uPos = strStored.size();
    while (uPos < strPath.size()) {
        size_t uEnd = uPos;
        while (uEnd < strPath.size() && strPath[uEnd] != '\\')
            uEnd += IsDBCSLeadByte(static_cast<BYTE>(strPath[uEnd])) && uEnd + 1 < strPath.size() ? 2 : 1;
        std::string strComponent = strPath.substr(uPos, uEnd - uPos);
        WIN32_FIND_DATAA findData;
        HANDLE hFind = strComponent.find_first_of("*?") == std::string::npos
                           ? FindFirstFileA((strStored + strComponent).c_str(), &findData)
                           : INVALID_HANDLE_VALUE;
        if (hFind != INVALID_HANDLE_VALUE) {
            FindClose(hFind);
            strComponent = findData.cFileName;
        }
        strStored += strComponent;
        if (uEnd < strPath.size())
            strStored += '\\';
        uPos = uEnd + 1;
    }
    return strStored;
}

bool IsSameOrInsideFolder(const std::string& strInner, const std::string& strOuter) {
    std::string strIn = NormalFolderPath(strInner.c_str());
    std::string strOut = NormalFolderPath(strOuter.c_str());
    if (strIn.empty() || strOut.empty())
        return false;
    if (s_EqualNoCase(strIn, strOut))
        return true;
    if (!s_IsSeparator(strOut.back()))
        strOut += '\\';
    return strIn.size() > strOut.size() && s_EqualNoCase(strIn.substr(0, strOut.size()), strOut);
}
