#include "pack/pack_platform.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/sha256.h"

namespace {

bool s_List(const std::string& strDir, std::vector<std::string>& aPrefix, std::vector<KTreeEntry>* pEntries,
            std::string* pstrError, bool bFolders) {
    std::unique_ptr<DIR, int (*)(DIR*)> pDir(opendir(strDir.c_str()), &closedir);
    if (!pDir) {
        *pstrError = strDir + ": " + std::strerror(errno);
        return false;
    }
    while (dirent* pEntry = readdir(pDir.get())) {
        std::string strName = pEntry->d_name;
        if (strName == "." || strName == "..")
            continue;
        std::string strPath = strDir + "/" + strName;
        struct stat info;
        if (lstat(strPath.c_str(), &info) != 0) {
            *pstrError = strPath + ": " + std::strerror(errno);
            return false;
        }
        aPrefix.push_back(strName);
        if (S_ISDIR(info.st_mode)) {
            if (bFolders)
                pEntries->push_back(KTreeEntry{aPrefix, false, true});
            if (!s_List(strPath, aPrefix, pEntries, pstrError, bFolders))
                return false;
        } else {
            pEntries->push_back(KTreeEntry{aPrefix, S_ISREG(info.st_mode)});
        }
        aPrefix.pop_back();
    }
    return true;
}

}  // namespace

bool ListPackageTree(const std::string& strDir, std::vector<KTreeEntry>* pEntries, std::string* pstrError,
                     bool bFolders) {
    std::vector<std::string> aPrefix;
    return s_List(strDir, aPrefix, pEntries, pstrError, bFolders);
}

std::string PackageEntryPath(const std::string& strDir, const std::vector<std::string>& aParts) {
    std::string strPath = strDir;
    for (const std::string& strPart : aParts)
        strPath += "/" + strPart;
    return strPath;
}

std::string NarrowFilePath(const std::string& strPath) {
    return strPath;
}

bool FileDigestHex(const std::string& strPath, std::string* pstrHex) {
    std::unique_ptr<FILE, int (*)(FILE*)> pFile(std::fopen(strPath.c_str(), "rb"), &std::fclose);
    if (!pFile)
        return false;
    KSha256 digest;
    // One buffer for every file: allocating and clearing a fresh one per file cost more than
    // hashing a small file.
    thread_local std::vector<char> buffer(1u << 20);
    size_t uRead = 0;
    while ((uRead = std::fread(buffer.data(), 1, buffer.size(), pFile.get())) > 0)
        digest.Update(buffer.data(), uRead);
    if (std::ferror(pFile.get()))
        return false;
    *pstrHex = digest.FinishHex();
    return !pstrHex->empty();
}

std::FILE* OpenFileStream(const std::string& strPath, const char* pszMode) {
    return std::fopen(strPath.c_str(), pszMode);
}

bool IsFolderPath(const std::string& strPath) {
    struct stat info;
    return lstat(strPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeFolders(const std::string& strPath) {
    if (IsFolderPath(strPath))
        return true;
    size_t uSlash = strPath.find_last_of('/');
    if (uSlash != std::string::npos && uSlash > 0 && !MakeFolders(strPath.substr(0, uSlash)))
        return false;
    return mkdir(strPath.c_str(), 0777) == 0 || IsFolderPath(strPath);
}

bool RemovePath(const std::string& strPath, bool bFolder) {
    return (bFolder ? rmdir(strPath.c_str()) : unlink(strPath.c_str())) == 0;
}

std::string AbsolutePath(const std::string& strPath) {
    std::string strAbsolute = strPath;
    if (strAbsolute.empty() || strAbsolute[0] != '/') {
        char szCwd[PATH_MAX];
        if (!getcwd(szCwd, sizeof(szCwd)))
            return std::string();
        strAbsolute = std::string(szCwd) + "/" + strAbsolute;
    }
    // "." and ".." levels resolved by name, as the text says.
    std::vector<std::string> aLevels;
    size_t uStart = 0;
    for (size_t i = 0; i <= strAbsolute.size(); ++i) {
        if (i < strAbsolute.size() && strAbsolute[i] != '/')
            continue;
        std::string strLevel = strAbsolute.substr(uStart, i - uStart);
        if (strLevel == "..") {
            if (!aLevels.empty())
                aLevels.pop_back();
        } else if (!strLevel.empty() && strLevel != ".") {
            aLevels.push_back(strLevel);
        }
        uStart = i + 1;
    }
    std::string strResult;
    for (const std::string& strLevel : aLevels)
        strResult += "/" + strLevel;
    return strResult.empty() ? "/" : strResult;
}

bool OutputIsTerminal() {
    return isatty(fileno(stdout)) != 0;
}

void WriteProgress(const std::string& strUtf8) {
    // Cleared to the line's end, so a shorter line leaves nothing of a longer one.
    std::fprintf(stdout, "\r%s\033[K", strUtf8.c_str());
    std::fflush(stdout);
}

bool ReadWholeFile(const std::string& strPath, std::string* pstrBytes) {
    std::unique_ptr<FILE, int (*)(FILE*)> pFile(std::fopen(strPath.c_str(), "rb"), &std::fclose);
    if (!pFile)
        return false;
    pstrBytes->clear();
    char szChunk[65536];
    size_t uRead = 0;
    while ((uRead = std::fread(szChunk, 1, sizeof(szChunk), pFile.get())) > 0)
        pstrBytes->append(szChunk, uRead);
    return !std::ferror(pFile.get());
}

bool WriteWholeFile(const std::string& strPath, const std::string& strBytes) {
    std::string strTemp = strPath + ".tmp";
    FILE* pFile = std::fopen(strTemp.c_str(), "wb");
    if (!pFile)
        return false;
    bool bOk = std::fwrite(strBytes.data(), 1, strBytes.size(), pFile) == strBytes.size();
    bOk = std::fflush(pFile) == 0 && bOk;
    bOk = fsync(fileno(pFile)) == 0 && bOk;
    bOk = std::fclose(pFile) == 0 && bOk;
    if (!bOk || std::rename(strTemp.c_str(), strPath.c_str()) != 0) {
        std::remove(strTemp.c_str());
        return false;
    }
    return true;
}


void WriteLine(const std::string& strUtf8, bool bError) {
    FILE* pStream = bError ? stderr : stdout;
    std::fwrite(strUtf8.data(), 1, strUtf8.size(), pStream);
    std::fputc('\n', pStream);
}
