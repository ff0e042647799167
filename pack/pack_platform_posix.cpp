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
            std::string* pstrError) {
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
            if (!s_List(strPath, aPrefix, pEntries, pstrError))
                return false;
        } else {
            pEntries->push_back(KTreeEntry{aPrefix, S_ISREG(info.st_mode)});
        }
        aPrefix.pop_back();
    }
    return true;
}

}  // namespace

bool ListPackageTree(const std::string& strDir, std::vector<KTreeEntry>* pEntries, std::string* pstrError) {
    std::vector<std::string> aPrefix;
    return s_List(strDir, aPrefix, pEntries, pstrError);
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
