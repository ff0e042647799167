#include "pack_file.h"

#include <algorithm>

#if defined(_WIN32)
#include <io.h>        // _chsize_s, _commit, _fileno
#else
#include <sys/types.h>
#include <unistd.h>    // fsync, ftruncate
#endif

namespace cobblepak {

namespace {

// Index entries are read and written in pieces of this many, so that an index needs no second
// buffer of its own size (1 MiB).
const std::size_t s_nIndexChunkEntries = 0x100000 / kPackIndexEntrySize;

// Standard C++ can only hand bytes to the system; making them durable is a system call.
bool s_SyncToStorage(std::FILE* pFile)
{
#if defined(_WIN32)
    return _commit(_fileno(pFile)) == 0;
#else
    return fsync(fileno(pFile)) == 0;
#endif
}

bool s_CutFile(std::FILE* pFile, std::int64_t nSize)
{
#if defined(_WIN32)
    return _chsize_s(_fileno(pFile), nSize) == 0;
#else
    return ftruncate(fileno(pFile), static_cast<off_t>(nSize)) == 0;
#endif
}

}  // namespace

KPackFile::~KPackFile()
{
    if (m_pFile)
        std::fclose(m_pFile);
}

bool KPackFile::Open(const char* pszPath, const char* pszMode)
{
    if (m_pFile || !pszPath || !pszMode)
        return false;
    m_pFile = std::fopen(pszPath, pszMode);
    return m_pFile != nullptr;
}

bool KPackFile::Seek(std::int64_t nPos)
{
    if (!m_pFile || nPos < 0 || nPos > kPackMaxFileSize)
        return false;
    return std::fseek(m_pFile, static_cast<long>(nPos), SEEK_SET) == 0;
}

bool KPackFile::SeekEnd()
{
    return m_pFile && std::fseek(m_pFile, 0, SEEK_END) == 0;
}

bool KPackFile::Tell(std::int64_t& nPos)
{
    if (!m_pFile)
        return false;
    long nAt = std::ftell(m_pFile);
    if (nAt < 0)
        return false;
    nPos = nAt;
    return true;
}

bool KPackFile::Size(std::int64_t& nSize)
{
    return SeekEnd() && Tell(nSize);
}

bool KPackFile::Read(void* pBuffer, std::size_t nBytes)
{
    if (!m_pFile)
        return false;
    if (nBytes == 0)
        return true;
    return std::fread(pBuffer, 1, nBytes, m_pFile) == nBytes;
}

bool KPackFile::Write(const void* pBuffer, std::size_t nBytes)
{
    if (!m_pFile)
        return false;
    const unsigned char* pAt = static_cast<const unsigned char*>(pBuffer);
    while (nBytes > 0) {
        std::size_t nDone = std::fwrite(pAt, 1, nBytes, m_pFile);
        if (nDone == 0 || std::ferror(m_pFile))
            return false;
        pAt += nDone;
        nBytes -= nDone;
    }
    return true;
}

bool KPackFile::Flush()
{
    // The error flag too: a C library may drop buffered bytes on a failed write and still
    // report the flush that follows as successful.
    return m_pFile && std::fflush(m_pFile) == 0 && !std::ferror(m_pFile) &&
           s_SyncToStorage(m_pFile);
}

bool KPackFile::Truncate(std::int64_t nSize)
{
    if (!m_pFile || nSize < 0 || nSize > kPackMaxFileSize)
        return false;
    // Its result does not matter: written or dropped, nothing stays in the buffer.
    std::fflush(m_pFile);
    std::clearerr(m_pFile);
    return s_CutFile(m_pFile, nSize) && s_SyncToStorage(m_pFile);
}

bool KPackFile::Close()
{
    if (!m_pFile)
        return false;
    int nResult = std::fclose(m_pFile);
    m_pFile = nullptr;
    return nResult == 0;
}

bool ReadPackHeader(KPackFile& file, PackHeader& header)
{
    std::uint8_t abyHeader[kPackHeaderSize];
    if (!file.Seek(0) || !file.Read(abyHeader, sizeof abyHeader))
        return false;
    header = DecodePackHeader(abyHeader);
    return true;
}

bool ReadPackIndex(KPackFile& file, const PackHeader& header, std::vector<PackIndexEntry>& vIndex)
{
    vIndex.clear();
    if (header.uEntryCount == 0)
        return true;
    if (!file.Seek(header.uIndexOffset))
        return false;
    vIndex.resize(header.uEntryCount);
    std::vector<std::uint8_t> vChunk(std::min<std::size_t>(vIndex.size(), s_nIndexChunkEntries) *
                                     kPackIndexEntrySize);
    for (std::size_t nAt = 0; nAt < vIndex.size();) {
        std::size_t nCount = std::min(vIndex.size() - nAt, s_nIndexChunkEntries);
        if (!file.Read(vChunk.data(), nCount * kPackIndexEntrySize))
            return false;
        for (std::size_t i = 0; i < nCount; ++i)
            vIndex[nAt + i] = DecodePackIndexEntry(&vChunk[i * kPackIndexEntrySize]);
        nAt += nCount;
    }
    return true;
}

bool WritePackIndex(KPackFile& file, const std::vector<PackIndexEntry>& vIndex)
{
    std::vector<std::uint8_t> vChunk;
    vChunk.reserve(std::min(vIndex.size(), s_nIndexChunkEntries) * kPackIndexEntrySize);
    for (std::size_t nAt = 0; nAt < vIndex.size();) {
        std::size_t nCount = std::min(vIndex.size() - nAt, s_nIndexChunkEntries);
        vChunk.clear();
        EncodePackIndex(&vIndex[nAt], nCount, vChunk);
        if (!file.Write(vChunk.data(), vChunk.size()))
            return false;
        nAt += nCount;
    }
    return true;
}

bool WritePackHeader(KPackFile& file, const PackHeader& header)
{
    std::uint8_t abyHeader[kPackHeaderSize];
    EncodePackHeader(header, abyHeader);
    return file.Seek(0) && file.Write(abyHeader, sizeof abyHeader);
}

}  // namespace cobblepak
