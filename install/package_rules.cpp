#include "install/package_rules.h"

#include <cstring>

#include "core/ansi_text.h"
#include "core/device_name.h"
#include "xml/xml_document.h"

static_assert(KXML_TEXT_SIZE == sizeof(KListedFileReader().m_szFilePath), "the installer's text buffers");

namespace {

bool s_IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

// The bytes after the first of the character at p: no byte of a longer character is a separator.
size_t s_TrailBytes(const char* p) {
    return NarrowCharLength(p) - 1;
}

// Whether a path fits the system's limit, counted as the system counts it (UTF-16 units).
bool s_FitsMaxPath(const std::string& strPath) {
    return NarrowUtf16Length(strPath.c_str()) < PACKAGE_MAX_PATH;
}

// A name made of dots and spaces with at least two dots: ".." itself, and the forms the system
// shortens to it.
bool s_IsParentName(const char* pszBegin, size_t uLen) {
    size_t uDots = 0;
    for (size_t i = 0; i < uLen; ++i) {
        if (pszBegin[i] == '.')
            ++uDots;
        else if (pszBegin[i] != ' ')
            return false;
    }
    return uDots >= 2;
}

// The levels of a relative path as the system resolves it when it opens the path whole: empty and
// "." levels skipped, the last level without its trailing dots and spaces, any other without one
// trailing dot ("data.\\art.pak." is "data\\art.pak", "data \\art.pak" is not). bEveryLevel:
// every level without its trailing dots and spaces, as a folder made one level at a time is
// named (".mendwright \\x" may lie in ".mendwright").
std::vector<std::string> s_ResolvedLevels(const std::string& strRelative, bool bEveryLevel) {
    std::vector<std::string> aLevels;
    size_t uStart = 0;
    for (size_t i = 0; i <= strRelative.size();) {
        if (i == strRelative.size() || s_IsSeparator(strRelative[i])) {
            // No trail byte is a dot or a space: the name ends where its last other byte does.
            size_t uEnd = i;
            bool bLast = i == strRelative.size();
            if (uEnd - uStart == 1 && strRelative[uStart] == '.')
                uEnd = uStart;
            else if (!bEveryLevel && !bLast && uEnd > uStart && strRelative[uEnd - 1] == '.')
                --uEnd;
            while ((bEveryLevel || bLast) && uEnd > uStart && (strRelative[uEnd - 1] == '.' || strRelative[uEnd - 1] == ' '))
                --uEnd;
            if (uEnd > uStart)
                aLevels.push_back(strRelative.substr(uStart, uEnd - uStart));
            uStart = ++i;
        } else {
            i += NarrowCharLength(strRelative.c_str() + i);
        }
    }
    return aLevels;
}

}  // namespace

bool EqualsNoCaseAscii(const std::string& strOne, const char* pszOther) {
    if (strOne.size() != std::strlen(pszOther))
        return false;
    for (size_t i = 0; i < strOne.size(); ++i) {
        char a = strOne[i], b = pszOther[i];
        if ((a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) != (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b))
            return false;
    }
    return true;
}

bool IsHostilePackagePart(const char* pszPart) {
    // Characters of more than one byte are stepped over whole, so that no trail byte is ever
    // taken for a separator (GBK's may look like one).
    const char* pszComponent = pszPart;
    for (const char* p = pszPart;; ++p) {
        if (*p == '\0' || s_IsSeparator(*p)) {
            size_t uLen = static_cast<size_t>(p - pszComponent);
            if (uLen && (s_IsParentName(pszComponent, uLen) || IsDeviceName(pszComponent, uLen)))
                return true;
            if (*p == '\0')
                return false;
            pszComponent = p + 1;
        } else if (static_cast<unsigned char>(*p) < 0x20 || std::strchr(":*?\"<>|", *p)) {
            return true;
        } else {
            p += s_TrailBytes(p);
        }
    }
}

std::string PackageDestFolder(const char* pszGamePath, const char* pszFilePath) {
    std::string strFolder = pszGamePath ? pszGamePath : "";
    strFolder += '\\';
    if (pszFilePath && !(s_IsSeparator(pszFilePath[0]) && pszFilePath[1] == '\0'))
        strFolder += pszFilePath;
    return strFolder;
}

std::string PackageFirstComponent(const std::string& strRelative) {
    std::vector<std::string> aLevels = s_ResolvedLevels(strRelative, true);
    return aLevels.empty() ? std::string() : aLevels[0];
}

std::string PackagePathKey(const std::string& strRelative) {
    std::string strKey;
    for (const std::string& strLevel : s_ResolvedLevels(strRelative, false))
        strKey += "\\" + FoldNameCase(strLevel);
    return strKey;
}

const char* const g_apszPluginFolders[2] = {"interface", "interface2"};

bool IsPluginFolder(const std::string& strName) {
    return EqualsNoCaseAscii(strName, g_apszPluginFolders[0]) || EqualsNoCaseAscii(strName, g_apszPluginFolders[1]);
}

bool HasTrailingDotOrSpace(const char* pszRelative) {
    const char* pszComponent = pszRelative;
    for (const char* p = pszRelative;; ++p) {
        if (*p == '\0' || s_IsSeparator(*p)) {
            size_t uLen = static_cast<size_t>(p - pszComponent);
            bool bDot = uLen == 1 && pszComponent[0] == '.';
            if (uLen && !bDot && (p[-1] == '.' || p[-1] == ' '))
                return true;
            if (*p == '\0')
                return false;
            pszComponent = p + 1;
        } else {
            p += s_TrailBytes(p);
        }
    }
}

unsigned long CheckPackageFile(const char* pszGamePath, const char* pszPackagePath, const char* pszFilePath,
                               const char* pszFileName) {
    // The two are also checked joined, as the paths join them: "." and ".\x" make "..\x".
    if (IsHostilePackagePart(pszFilePath) || IsHostilePackagePart(pszFileName) ||
        IsHostilePackagePart((std::string(pszFilePath) + pszFileName).c_str()))
        return PACKAGE_FILE_BAD_NAME;
    std::string strDestFile = PackageDestFolder(pszGamePath, pszFilePath) + pszFileName;
    std::string strSourceFile = std::string(pszPackagePath) + "\\" + pszFilePath + pszFileName;
    if (!s_FitsMaxPath(strDestFile) || !s_FitsMaxPath(strSourceFile))
        return PACKAGE_FILE_TOO_LONG;
    return PACKAGE_FILE_OK;
}

unsigned long CheckListedFile(const char* pszGamePath, const char* pszPackagePath, const char* pszFilePath,
                              const char* pszFileName) {
    unsigned long ulRefusal = CheckPackageFile(pszGamePath, pszPackagePath, pszFilePath, pszFileName);
    if (ulRefusal != PACKAGE_FILE_OK)
        return ulRefusal;
    // A FileName that ends in a separator names a folder: no file is found or written by it.
    size_t uNameLen = std::strlen(pszFileName);
    if (uNameLen && s_IsSeparator(pszFileName[uNameLen - 1]))
        return PACKAGE_FILE_BAD_NAME;
    std::string strDestFolder = PackageDestFolder(pszGamePath, pszFilePath);
    std::string strDest = strDestFolder.substr(std::strlen(pszGamePath) + 1) + pszFileName;
    if (EqualsNoCaseAscii(PackageFirstComponent(strDest), WORK_FOLDER_NAME))
        return PACKAGE_FILE_BAD_NAME;
    // Deeper than the installer makes folders: the copy could never succeed.
    std::vector<std::string> chain = FolderChain(strDestFolder.c_str());
    if (chain.size() == PACKAGE_MAX_FOLDER_LEVELS && strDestFolder.find('\\', chain.back().size()) != std::string::npos)
        return PACKAGE_FILE_TOO_DEEP;
    return PACKAGE_FILE_OK;
}

const char* FindPackageBackslash(const char* pszFrom) {
    for (const char* p = pszFrom; *p; ++p) {
        if (*p == '\\')
            return p;
        p += s_TrailBytes(p);
    }
    return nullptr;
}

std::vector<std::string> FolderChain(const char* pszPath) {
    std::vector<std::string> chain;
    const char* pszFirst = pszPath ? FindPackageBackslash(pszPath) : nullptr;
    if (!pszFirst || pszFirst == pszPath || !s_FitsMaxPath(pszPath))
        return chain;
    int nLevel = 0;
    for (const char* pszSlash = FindPackageBackslash(pszFirst + 1); pszSlash && nLevel < PACKAGE_MAX_FOLDER_LEVELS;
         pszSlash = FindPackageBackslash(pszSlash + 1), ++nLevel)
        chain.emplace_back(pszPath, static_cast<size_t>(pszSlash - pszPath) + 1);
    return chain;
}

KListedFileReader::KListedFileReader() : m_bNamePresent(false), m_bSha256Present(false) {
    m_szFilePath[0] = '\0';
    m_szFileName[0] = '\0';
}

int ReadPackageField(IKXmlNode* pElement, const char* pszName, char* pszBuf, bool* pbPresent) {
    IKXmlNode* pField = pElement->GetFirstChildByName(pszName);
    *pbPresent = pField != nullptr;
    if (!pField)
        return 1;
    pszBuf[0] = '\0';
    const char* pszWhole = pField->GetChildText(nullptr, pszBuf);
    return !pszWhole || (std::strlen(pszWhole) < KXML_TEXT_SIZE && s_FitsMaxPath(pszWhole));
}

int KListedFileReader::Read(IKXmlNode* pFile) {
    bool bPathPresent = false;
    int bFits = ReadPackageField(pFile, "FilePath", m_szFilePath, &bPathPresent);
    m_szFileName[0] = '\0';
    bFits = ReadPackageField(pFile, "FileName", m_szFileName, &m_bNamePresent) && bFits;
    char szDigest[KXML_TEXT_SIZE] = {0};
    ReadPackageField(pFile, "FileSha256", szDigest, &m_bSha256Present);
    m_strSha256 = LowerSha256Text(szDigest);
    return bFits;
}

std::string LowerSha256Text(const char* pszText) {
    std::string strText = pszText;
    for (char& ch : strText)
        ch = ch >= 'A' && ch <= 'F' ? static_cast<char>(ch - 'A' + 'a') : ch;
    return strText;
}

int IsSha256Text(const char* pszText) {
    size_t uLen = 0;
    for (; pszText[uLen]; ++uLen) {
        char ch = pszText[uLen];
        if (!((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F')))
            return 0;
    }
    return uLen == PACKAGE_SHA256_HEX;
}
