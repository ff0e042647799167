#include "core/folder_path.h"

#include <windows.h>

#include <vector>

#include "core/win_text.h"

namespace {

bool s_IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

// Ordinal comparison without regard to case, as NTFS compares names.
bool s_EqualNoCase(const std::string& strA, const std::string& strB) {
    std::wstring wA = Utf8ToWide(strA);
    std::wstring wB = Utf8ToWide(strB);
    if (wA.size() != wB.size())
        return false;
    if (wA.empty())
        return true;
    return CompareStringOrdinal(wA.data(), static_cast<int>(wA.size()), wB.data(), static_cast<int>(wB.size()), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace

std::string StripTrailingSeparators(const std::string& strPath) {
    // The end of the text once each trailing run of real separators is left out.
    size_t uKeep = 0;
    for (size_t i = 0; i < strPath.size(); ++i) {
        if (!s_IsSeparator(strPath[i]))
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
    std::string strFull;
    if (!GetFullPathU8(pszPath, &strFull))
        return std::string();
    std::string strLong;
    std::string strPath = StripTrailingSeparators(GetLongPathU8(strFull.c_str(), &strLong) ? strLong : strFull);
    // Each existing component as the file system stores it: "c:\GAME" becomes "C:\Game".
    if (strPath.size() >= 2 && strPath[1] == ':' && strPath[0] >= 'a' && strPath[0] <= 'z')
        strPath[0] = static_cast<char>(strPath[0] - 'a' + 'A');
    std::string strStored = strPath.substr(0, strPath.find('\\') == std::string::npos ? strPath.size() : strPath.find('\\') + 1);
    size_t uPos = strStored.size();
    while (uPos < strPath.size()) {
        size_t uEnd = uPos;
        while (uEnd < strPath.size() && strPath[uEnd] != '\\')
            ++uEnd;
        std::string strComponent = strPath.substr(uPos, uEnd - uPos);
        WIN32_FIND_DATAW findData;
        HANDLE hFind = strComponent.find_first_of("*?") == std::string::npos
                           ? FindFirstFileU8((strStored + strComponent).c_str(), &findData)
                           : INVALID_HANDLE_VALUE;
        if (hFind != INVALID_HANDLE_VALUE) {
            FindClose(hFind);
            strComponent = WideToUtf8(findData.cFileName);
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
