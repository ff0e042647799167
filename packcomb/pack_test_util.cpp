#include "pack_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace cobblepak {
namespace test {

Bytes MakePack(std::uint32_t uDataOffset, const Bytes& vData,
               const std::vector<PackIndexEntry>& vIndex)
{
    PackHeader header;
    header.uFirstWord = 0x4B504243;
    header.uEntryCount = static_cast<std::uint32_t>(vIndex.size());
    header.uDataOffset = uDataOffset;
    header.uIndexOffset = uDataOffset + static_cast<std::uint32_t>(vData.size());
    for (std::size_t i = 0; i < sizeof header.abyRest; ++i)
        header.abyRest[i] = static_cast<std::uint8_t>(0xA0 + i);
    Bytes vPack(uDataOffset < kPackHeaderSize ? kPackHeaderSize : uDataOffset, 0xEE);
    EncodePackHeader(header, vPack.data());
    vPack.insert(vPack.end(), vData.begin(), vData.end());
    EncodePackIndex(vIndex.data(), vIndex.size(), vPack);
    return vPack;
}

PackIndexEntry Entry(std::uint32_t uKey, std::uint32_t uDataPos, std::uint32_t uWord2,
                     std::uint32_t uWord3)
{
    PackIndexEntry entry;
    entry.uKey = uKey;
    entry.uDataPos = uDataPos;
    entry.uWord2 = uWord2;
    entry.uWord3 = uWord3;
    return entry;
}

Bytes EncodeIndex(const std::vector<PackIndexEntry>& vIndex)
{
    Bytes vOut;
    EncodePackIndex(vIndex.data(), vIndex.size(), vOut);
    return vOut;
}

Bytes Concat(const Bytes& a, const Bytes& b)
{
    Bytes vOut(a);
    vOut.insert(vOut.end(), b.begin(), b.end());
    return vOut;
}

Bytes Text(const char* pszText)
{
    return Bytes(pszText, pszText + std::strlen(pszText));
}

void PutFixed32(Bytes& vBytes, std::size_t nOffset, std::uint32_t uValue)
{
    ASSERT_LE(nOffset + 4, vBytes.size());
    EncodeFixed32(&vBytes[nOffset], uValue);
}

void WriteFileBytes(const std::string& strPath, const Bytes& vBytes)
{
    std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(vBytes.data()),
              static_cast<std::streamsize>(vBytes.size()));
    ASSERT_TRUE(out.good()) << strPath;
}

Bytes ReadFileBytes(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary | std::ios::ate);
    EXPECT_TRUE(in.good()) << strPath;
    Bytes vBytes(in.good() ? static_cast<std::size_t>(in.tellg()) : 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(vBytes.data()), static_cast<std::streamsize>(vBytes.size()));
    EXPECT_TRUE(in.good() || vBytes.empty()) << strPath;
    return vBytes;
}

bool FileExists(const std::string& strPath)
{
    std::error_code ec;
    return std::filesystem::exists(strPath, ec);
}

KScratchDir::KScratchDir()
{
    static std::atomic<unsigned> s_nCounter(0);
    std::random_device rd;
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("cobblepak-" + std::to_string(rd()) + "-" +
                                 std::to_string(s_nCounter++));
    std::filesystem::create_directories(dir);
    m_strDir = dir.string();
}

KScratchDir::~KScratchDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_strDir, ec);
}

std::string KScratchDir::Path(const char* pszName) const
{
    return (std::filesystem::path(m_strDir) / pszName).string();
}

}  // namespace test
}  // namespace cobblepak
