#include "pack_format.h"

#include <cstring>

namespace cobblepak {

void EncodeFixed32(std::uint8_t* pDst, std::uint32_t uValue)
{
    pDst[0] = static_cast<std::uint8_t>(uValue);
    pDst[1] = static_cast<std::uint8_t>(uValue >> 8);
    pDst[2] = static_cast<std::uint8_t>(uValue >> 16);
    pDst[3] = static_cast<std::uint8_t>(uValue >> 24);
}

std::uint32_t DecodeFixed32(const std::uint8_t* pSrc)
{
    return static_cast<std::uint32_t>(pSrc[0]) | (static_cast<std::uint32_t>(pSrc[1]) << 8) |
           (static_cast<std::uint32_t>(pSrc[2]) << 16) |
           (static_cast<std::uint32_t>(pSrc[3]) << 24);
}

void EncodePackHeader(const PackHeader& header, std::uint8_t* pDst)
{
    EncodeFixed32(pDst + 0, header.uFirstWord);
    EncodeFixed32(pDst + 4, header.uEntryCount);
    EncodeFixed32(pDst + 8, header.uIndexOffset);
    EncodeFixed32(pDst + 12, header.uDataOffset);
    std::memcpy(pDst + 16, header.abyRest, sizeof header.abyRest);
}

PackHeader DecodePackHeader(const std::uint8_t* pSrc)
{
    PackHeader header;
    header.uFirstWord = DecodeFixed32(pSrc + 0);
    header.uEntryCount = DecodeFixed32(pSrc + 4);
    header.uIndexOffset = DecodeFixed32(pSrc + 8);
    header.uDataOffset = DecodeFixed32(pSrc + 12);
    std::memcpy(header.abyRest, pSrc + 16, sizeof header.abyRest);
    return header;
}

void EncodePackIndexEntry(const PackIndexEntry& entry, std::uint8_t* pDst)
{
    EncodeFixed32(pDst + 0, entry.uKey);
    EncodeFixed32(pDst + 4, entry.uDataPos);
    EncodeFixed32(pDst + 8, entry.uWord2);
    EncodeFixed32(pDst + 12, entry.uWord3);
}

PackIndexEntry DecodePackIndexEntry(const std::uint8_t* pSrc)
{
    PackIndexEntry entry;
    entry.uKey = DecodeFixed32(pSrc + 0);
    entry.uDataPos = DecodeFixed32(pSrc + 4);
    entry.uWord2 = DecodeFixed32(pSrc + 8);
    entry.uWord3 = DecodeFixed32(pSrc + 12);
    return entry;
}

void EncodePackIndex(const PackIndexEntry* pEntries, std::size_t nCount,
                     std::vector<std::uint8_t>& vOut)
{
    std::size_t nStart = vOut.size();
    vOut.resize(nStart + nCount * kPackIndexEntrySize);
    for (std::size_t i = 0; i < nCount; ++i)
        EncodePackIndexEntry(pEntries[i], &vOut[nStart + i * kPackIndexEntrySize]);
}

const char* CheckPackLayout(const PackHeader& header, std::int64_t nFileSize)
{
    if (nFileSize < static_cast<std::int64_t>(kPackHeaderSize))
        return "file is shorter than the 32-byte header";
    if (nFileSize > kPackMaxFileSize)
        return "file is longer than 2 GiB - 1 bytes";
    if (header.uDataOffset < kPackHeaderSize)
        return "data offset lies inside the 32-byte header";
    if (header.uDataOffset > header.uIndexOffset)
        return "data offset lies after the index offset";
    std::int64_t nIndexEnd = static_cast<std::int64_t>(header.uIndexOffset) +
                             static_cast<std::int64_t>(header.uEntryCount) *
                                 static_cast<std::int64_t>(kPackIndexEntrySize);
    if (static_cast<std::int64_t>(header.uIndexOffset) > nFileSize)
        return "index offset lies beyond the end of the file";
    if (nIndexEnd > nFileSize)
        return "entry count does not fit between the index offset and the end of the file";
    return nullptr;
}

bool IsInDataRegion(const PackHeader& header, std::uint32_t uDataPos)
{
    return uDataPos >= header.uDataOffset && uDataPos <= header.uIndexOffset;
}

bool IsPackIndexSorted(const std::vector<PackIndexEntry>& vIndex)
{
    for (std::size_t i = 1; i < vIndex.size(); ++i) {
        if (vIndex[i - 1].uKey >= vIndex[i].uKey)
            return false;
    }
    return true;
}

}  // namespace cobblepak
