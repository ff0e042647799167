// A pack file opened as a standard C stream, with every stream call checked, and the access
// steps that read a pack's header and index and write an index back.
#ifndef COBBLEPAK_PACK_FILE_H
#define COBBLEPAK_PACK_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "pack_format.h"

namespace cobblepak {

// Owns one std::FILE. Every operation returns true on success and false on any failure of the
// underlying call (including a short read or write); the stream is closed on destruction.
// Positions are limited to kPackMaxFileSize, so a 32-bit `long` carries them on every platform.
class KPackFile {
public:
    KPackFile() = default;
    ~KPackFile();
    KPackFile(const KPackFile&) = delete;
    KPackFile& operator=(const KPackFile&) = delete;

    // pszMode as for std::fopen ("rb", "r+b"). Fails for a null path.
    bool Open(const char* pszPath, const char* pszMode);
    bool Seek(std::int64_t nPos);
    bool SeekEnd();
    bool Tell(std::int64_t& nPos);
    // Length of the file; leaves the position at the end.
    bool Size(std::int64_t& nSize);
    // Reads exactly nBytes; fails on a short read.
    bool Read(void* pBuffer, std::size_t nBytes);
    // Writes all nBytes, looping on partial writes; fails as soon as a write makes no progress.
    bool Write(const void* pBuffer, std::size_t nBytes);
    // Hands buffered bytes to the system and waits until the system has them on storage.
    bool Flush();
    // Cuts the file to nSize bytes and puts the cut on storage. Buffered bytes are handed to the
    // system first (after a failed write the C library has dropped them), so none can land past
    // the cut later. The position is then unspecified: seek before reading or writing again.
    bool Truncate(std::int64_t nSize);
    // Closes the stream; false when the final flush or the close failed.
    bool Close();

private:
    std::FILE* m_pFile = nullptr;
};

// Reads the 32-byte header at position 0.
bool ReadPackHeader(KPackFile& file, PackHeader& header);
// Reads header.uEntryCount entries from header.uIndexOffset into vIndex (replacing its
// contents), in bounded chunks. Reads nothing for an empty index. The caller has checked the
// header against the file (CheckPackLayout), so the count is bounded by the file's length.
bool ReadPackIndex(KPackFile& file, const PackHeader& header, std::vector<PackIndexEntry>& vIndex);
// Writes the entries back to back at the current position, in bounded chunks.
bool WritePackIndex(KPackFile& file, const std::vector<PackIndexEntry>& vIndex);
// Writes the 32-byte header at position 0 in one piece.
bool WritePackHeader(KPackFile& file, const PackHeader& header);

}  // namespace cobblepak

#endif
