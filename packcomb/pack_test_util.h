// Shared by the pack tests: building pack files byte by byte and handling scratch files.
#ifndef COBBLEPAK_PACK_TEST_UTIL_H
#define COBBLEPAK_PACK_TEST_UTIL_H

#include <cstdint>
#include <string>
#include <vector>

#include "pack_format.h"

namespace cobblepak {
namespace test {

typedef std::vector<std::uint8_t> Bytes;

// Builds a pack: header, filler bytes (0xEE) up to uDataOffset, vData, then the index right
// after the data. The header's first word and its last 16 bytes get distinct, recognisable
// values so that tests can see that they survive. Entry positions are taken as given.
Bytes MakePack(std::uint32_t uDataOffset, const Bytes& vData,
               const std::vector<PackIndexEntry>& vIndex);

PackIndexEntry Entry(std::uint32_t uKey, std::uint32_t uDataPos, std::uint32_t uWord2 = 0,
                     std::uint32_t uWord3 = 0);
Bytes EncodeIndex(const std::vector<PackIndexEntry>& vIndex);
Bytes Concat(const Bytes& a, const Bytes& b);
Bytes Text(const char* pszText);

// Overwrites a 32-bit little-endian field at nOffset.
void PutFixed32(Bytes& vBytes, std::size_t nOffset, std::uint32_t uValue);

// Whole-file access; the read fails the calling test when the file cannot be read.
void WriteFileBytes(const std::string& strPath, const Bytes& vBytes);
Bytes ReadFileBytes(const std::string& strPath);
bool FileExists(const std::string& strPath);

// A fresh folder under the system's temporary folder, removed with everything in it on
// destruction.
class KScratchDir {
public:
    KScratchDir();
    ~KScratchDir();
    KScratchDir(const KScratchDir&) = delete;
    KScratchDir& operator=(const KScratchDir&) = delete;
    std::string Path(const char* pszName) const;

private:
    std::string m_strDir;
};

}  // namespace test
}  // namespace cobblepak

#endif
