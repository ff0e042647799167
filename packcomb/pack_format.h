// Byte layout of a pack file: a 32-byte header, a data region and a sorted index of 16-byte
// entries. Every number is a 32-bit unsigned little-endian integer; positions are absolute.
// Encoding and decoding go field by field so the layout never depends on struct packing or on
// the host's byte order.
#ifndef COBBLEPAK_PACK_FORMAT_H
#define COBBLEPAK_PACK_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cobblepak {

const std::size_t kPackHeaderSize = 32;
const std::size_t kPackIndexEntrySize = 16;
// Positions are signed 32-bit file offsets for the game, so no pack may be longer than this.
const std::int64_t kPackMaxFileSize = 0x7FFFFFFF;

struct PackHeader {
    std::uint32_t uFirstWord;     // not interpreted; written back unchanged
    std::uint32_t uEntryCount;    // entries in the index
    std::uint32_t uIndexOffset;   // file position of the first index entry
    std::uint32_t uDataOffset;    // file position where the data region begins
    std::uint8_t abyRest[16];     // not interpreted; written back unchanged
};

struct PackIndexEntry {
    std::uint32_t uKey;       // sort key of the index, unique within a pack
    std::uint32_t uDataPos;   // absolute file position of the item's bytes
    std::uint32_t uWord2;     // carried unchanged
    std::uint32_t uWord3;     // carried unchanged
};

void EncodeFixed32(std::uint8_t* pDst, std::uint32_t uValue);
std::uint32_t DecodeFixed32(const std::uint8_t* pSrc);

// Writes exactly kPackHeaderSize / kPackIndexEntrySize bytes at pDst.
void EncodePackHeader(const PackHeader& header, std::uint8_t* pDst);
void EncodePackIndexEntry(const PackIndexEntry& entry, std::uint8_t* pDst);
// Reads exactly kPackHeaderSize / kPackIndexEntrySize bytes at pSrc.
PackHeader DecodePackHeader(const std::uint8_t* pSrc);
PackIndexEntry DecodePackIndexEntry(const std::uint8_t* pSrc);

// Appends nCount entries encoded back to back.
void EncodePackIndex(const PackIndexEntry* pEntries, std::size_t nCount,
                     std::vector<std::uint8_t>& vOut);

// Checks a header against the length of the file it came from: the file holds the whole header
// and stays within kPackMaxFileSize, the data region begins after the header (data offset at
// least kPackHeaderSize), the index offset is not before the data offset and the index of
// uEntryCount entries ends inside the file. Returns nullptr when the header is sound, else a
// short English reason. All arithmetic is done in 64 bits, so no count can overflow.
const char* CheckPackLayout(const PackHeader& header, std::int64_t nFileSize);

// True when uDataPos lies in the header's data region, from the data offset up to the index
// offset (an empty item may sit at its very end).
bool IsInDataRegion(const PackHeader& header, std::uint32_t uDataPos);

// True when keys ascend strictly (sorted, each key once).
bool IsPackIndexSorted(const std::vector<PackIndexEntry>& vIndex);

}  // namespace cobblepak

#endif
