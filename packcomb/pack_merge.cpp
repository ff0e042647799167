#include "pack_merge.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "index_merge.h"
#include "pack_check.h"
#include "pack_file.h"
#include "pack_format.h"
#include "packcomb.h"

namespace cobblepak {

namespace {

// The data region is streamed through a buffer of this size, so memory does not grow with it.
const std::size_t s_nCopyChunk = 0x100000;

// Opens a pack, reads its header and checks the header against the file's length.
bool s_OpenPack(KPackFile& file, const char* pszPath, const char* pszMode, PackHeader& header,
                std::int64_t& nSize)
{
    return file.Open(pszPath, pszMode) && file.Size(nSize) &&
           nSize >= static_cast<std::int64_t>(kPackHeaderSize) && ReadPackHeader(file, header) &&
           CheckPackLayout(header, nSize) == nullptr;
}

bool s_CopyRegion(KPackFile& src, std::int64_t nFrom, std::int64_t nBytes, KPackFile& dst)
{
    if (nBytes == 0)
        return true;
    std::vector<std::uint8_t> vChunk(static_cast<std::size_t>(
        std::min<std::int64_t>(nBytes, static_cast<std::int64_t>(s_nCopyChunk))));
    if (!src.Seek(nFrom))
        return false;
    while (nBytes > 0) {
        std::size_t nPiece = static_cast<std::size_t>(
            std::min<std::int64_t>(nBytes, static_cast<std::int64_t>(vChunk.size())));
        if (!src.Read(vChunk.data(), nPiece) || !dst.Write(vChunk.data(), nPiece))
            return false;
        nBytes -= static_cast<std::int64_t>(nPiece);
    }
    return true;
}

// Cuts the destination back to its length before the merge on every way out (a failed step, an
// exception) until Keep(), so that a failed merge leaves the file byte for byte as it was. Made
// only after that length is confirmed, so it never cuts bytes another writer added first.
class KCutBackOnFailure {
public:
    KCutBackOnFailure(KPackFile& file, std::int64_t nSize) : m_file(file), m_nSize(nSize) {}
    ~KCutBackOnFailure()
    {
        if (m_bArmed)
            m_file.Truncate(m_nSize);
    }
    KCutBackOnFailure(const KCutBackOnFailure&) = delete;
    KCutBackOnFailure& operator=(const KCutBackOnFailure&) = delete;
    void Keep() { m_bArmed = false; }

private:
    KPackFile& m_file;
    const std::int64_t m_nSize;
    bool m_bArmed = true;
};

}  // namespace

int MergePackFiles(const char* pszDstPack, const char* pszSrcPack)
{
    // Everything that can refuse the merge is decided before the first byte is written.
    KPackFile dst;
    KPackFile src;
    PackHeader dstHeader;
    PackHeader srcHeader;
    std::int64_t nDstSize = 0;
    std::int64_t nSrcSize = 0;
    if (!s_OpenPack(dst, pszDstPack, "r+b", dstHeader, nDstSize) ||
        !s_OpenPack(src, pszSrcPack, "rb", srcHeader, nSrcSize))
        return E_INVALIDARG;
    if (srcHeader.uEntryCount == 0)
        return S_OK;

    // Room for the largest possible result at once, so the merge never moves the index again.
    std::vector<PackIndexEntry> vIndex;
    vIndex.reserve(static_cast<std::size_t>(dstHeader.uEntryCount) + srcHeader.uEntryCount);
    std::vector<PackIndexEntry> vSrcIndex;
    std::string strReason;
    if (!ReadPackIndex(dst, dstHeader, vIndex) ||
        !CheckPack(dstHeader, vIndex, nDstSize, strReason) ||
        !ReadPackIndex(src, srcHeader, vSrcIndex))
        return E_INVALIDARG;
    // The source's index may be unsorted, but every entry must point into its data region: the
    // region is all that is copied, so any other position would point at unrelated bytes.
    for (const PackIndexEntry& entry : vSrcIndex) {
        if (!IsInDataRegion(srcHeader, entry.uDataPos))
            return E_INVALIDARG;
    }

    // The source's data region lands at the destination's end, so an item at data position p
    // moves to base + (p - source data offset). The subtraction is taken modulo 2^32 like the
    // positions themselves; the result is in range because the whole file is.
    const std::int64_t nBase = nDstSize;
    const std::int64_t nDataSize =
        static_cast<std::int64_t>(srcHeader.uIndexOffset) - srcHeader.uDataOffset;
    const std::uint32_t uPosDelta =
        static_cast<std::uint32_t>(nBase) - srcHeader.uDataOffset;
    MergePackIndex(vIndex, std::move(vSrcIndex), uPosDelta);

    const std::int64_t nNewIndexOffset = nBase + nDataSize;
    const std::int64_t nNewSize =
        nNewIndexOffset + static_cast<std::int64_t>(vIndex.size()) *
                              static_cast<std::int64_t>(kPackIndexEntrySize);
    if (nNewSize > kPackMaxFileSize)
        return E_INVALIDARG;

    // Data and index first, on storage before the header changes: until the 32-byte header is
    // rewritten the file is the old pack with unreferenced bytes after its end, which a failure
    // cuts off again. Only a killed process leaves them.
    std::int64_t nAt = 0;
    if (!dst.SeekEnd() || !dst.Tell(nAt) || nAt != nBase)
        return E_INVALIDARG;
    KCutBackOnFailure cutBack(dst, nBase);
    if (!s_CopyRegion(src, srcHeader.uDataOffset, nDataSize, dst))
        return E_INVALIDARG;
    if (!dst.Tell(nAt) || nAt != nNewIndexOffset || !WritePackIndex(dst, vIndex) ||
        !dst.Flush())
        return E_INVALIDARG;
    // The file's own length confirms that every byte arrived before the header points to them.
    if (!dst.Size(nAt) || nAt != nNewSize)
        return E_INVALIDARG;

    PackHeader newHeader = dstHeader;
    newHeader.uEntryCount = static_cast<std::uint32_t>(vIndex.size());
    newHeader.uIndexOffset = static_cast<std::uint32_t>(nNewIndexOffset);
    // From here on the header may already point to the new index: the bytes must stay.
    cutBack.Keep();
    if (!WritePackHeader(dst, newHeader) || !dst.Flush() || !dst.Close())
        return E_INVALIDARG;
    return S_OK;
}

}  // namespace cobblepak
