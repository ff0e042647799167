#include "pack_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "pack_file.h"
#include "pack_test_util.h"

namespace cobblepak {
namespace {

using test::Bytes;

TEST(PackFormat, NumbersAreLittleEndian)
{
    std::uint8_t aby[4];
    EncodeFixed32(aby, 0x04030201u);
    EXPECT_EQ(Bytes(aby, aby + 4), (Bytes{0x01, 0x02, 0x03, 0x04}));
    EncodeFixed32(aby, 0x80000000u);
    EXPECT_EQ(Bytes(aby, aby + 4), (Bytes{0x00, 0x00, 0x00, 0x80}));
    const std::uint8_t abyHigh[4] = {0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(DecodeFixed32(abyHigh), 0xFFFFFFFEu);
}

TEST(PackFormat, HeaderAndEntryHaveTheirExactBytes)
{
    PackHeader header;
    header.uFirstWord = 0x11223344;
    header.uEntryCount = 2;
    header.uIndexOffset = 0x01020304;
    header.uDataOffset = 0x20;
    for (int i = 0; i < 16; ++i)
        header.abyRest[i] = static_cast<std::uint8_t>(0xC0 + i);
    std::uint8_t abyHeader[kPackHeaderSize];
    EncodePackHeader(header, abyHeader);
    const Bytes vExpected = {0x44, 0x33, 0x22, 0x11, 0x02, 0x00, 0x00, 0x00, 0x04, 0x03, 0x02,
                             0x01, 0x20, 0x00, 0x00, 0x00, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5,
                             0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF};
    EXPECT_EQ(Bytes(abyHeader, abyHeader + sizeof abyHeader), vExpected);

    Bytes vIndex;
    const PackIndexEntry entry = test::Entry(0xDEADBEEF, 0x7FFFFFFF, 1, 0xFFFFFFFF);
    EncodePackIndex(&entry, 1, vIndex);
    EXPECT_EQ(vIndex, (Bytes{0xEF, 0xBE, 0xAD, 0xDE, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00,
                             0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
    PackIndexEntry back = DecodePackIndexEntry(vIndex.data());
    EXPECT_EQ(back.uKey, entry.uKey);
    EXPECT_EQ(back.uDataPos, entry.uDataPos);
    EXPECT_EQ(back.uWord2, entry.uWord2);
    EXPECT_EQ(back.uWord3, entry.uWord3);
}

TEST(PackFormat, HeaderRoundTripKeepsEveryByte)
{
    std::uint8_t abyIn[kPackHeaderSize];
    for (std::size_t i = 0; i < sizeof abyIn; ++i)
        abyIn[i] = static_cast<std::uint8_t>(251 - 7 * i);
    std::uint8_t abyOut[kPackHeaderSize] = {};
    EncodePackHeader(DecodePackHeader(abyIn), abyOut);
    EXPECT_EQ(Bytes(abyIn, abyIn + 32), Bytes(abyOut, abyOut + 32));
}

PackHeader s_Header(std::uint32_t uCount, std::uint32_t uIndexOffset, std::uint32_t uDataOffset)
{
    PackHeader header = PackHeader();
    header.uEntryCount = uCount;
    header.uIndexOffset = uIndexOffset;
    header.uDataOffset = uDataOffset;
    return header;
}

TEST(PackLayout, AcceptsHeadersThatFitTheirFile)
{
    EXPECT_EQ(CheckPackLayout(s_Header(0, 32, 32), 32), nullptr);
    EXPECT_EQ(CheckPackLayout(s_Header(2, 100, 32), 132), nullptr);  // index ends at the end
    EXPECT_EQ(CheckPackLayout(s_Header(1, 100, 100), 200), nullptr); // empty data region
    EXPECT_EQ(CheckPackLayout(s_Header(0, 0x7FFFFFFF, 32), 0x7FFFFFFF), nullptr);
}

TEST(PackLayout, RejectsEachKindOfDamage)
{
    EXPECT_NE(CheckPackLayout(s_Header(0, 32, 32), 31), nullptr);           // header cut
    EXPECT_NE(CheckPackLayout(s_Header(0, 32, 32), 0x80000000LL), nullptr); // too long
    EXPECT_NE(CheckPackLayout(s_Header(0, 40, 41), 100), nullptr);          // data after index
    EXPECT_NE(CheckPackLayout(s_Header(0, 0, 0), 100), nullptr);            // zeroed header
    EXPECT_NE(CheckPackLayout(s_Header(1, 84, 0), 100), nullptr);           // data at 0
    EXPECT_NE(CheckPackLayout(s_Header(0, 32, 31), 32), nullptr);           // data at 31
    EXPECT_NE(CheckPackLayout(s_Header(0, 101, 32), 100), nullptr);         // index beyond end
    EXPECT_NE(CheckPackLayout(s_Header(2, 100, 32), 131), nullptr);         // last entry cut
    // Counts whose byte size wraps in 32 bits must still be refused.
    EXPECT_NE(CheckPackLayout(s_Header(0x10000000, 32, 32), 64), nullptr);
    EXPECT_NE(CheckPackLayout(s_Header(0xFFFFFFFF, 0xFFFFFFF0, 32), 0x7FFFFFFF), nullptr);
}

TEST(PackLayout, SortedMeansStrictlyAscendingUnsignedKeys)
{
    using test::Entry;
    EXPECT_TRUE(IsPackIndexSorted({}));
    EXPECT_TRUE(IsPackIndexSorted({Entry(1, 0), Entry(0x80000000u, 0), Entry(0xFFFFFFFFu, 0)}));
    EXPECT_FALSE(IsPackIndexSorted({Entry(0x80000000u, 0), Entry(1, 0)}));
    EXPECT_FALSE(IsPackIndexSorted({Entry(5, 0), Entry(5, 0)}));
}

class PackFileTest : public ::testing::Test {
protected:
    test::KScratchDir m_dir;
};

TEST_F(PackFileTest, EmptyIndexIsNotRead)
{
    // The index offset sits at the end of the file, so any read there would fail.
    const std::string strPath = m_dir.Path("empty.pak");
    test::WriteFileBytes(strPath, test::MakePack(32, test::Text("abc"), {}));
    KPackFile file;
    PackHeader header;
    ASSERT_TRUE(file.Open(strPath.c_str(), "rb"));
    ASSERT_TRUE(ReadPackHeader(file, header));
    EXPECT_EQ(header.uIndexOffset, 35u);
    std::vector<PackIndexEntry> vIndex(3);
    EXPECT_TRUE(ReadPackIndex(file, header, vIndex));
    EXPECT_TRUE(vIndex.empty());
}

TEST_F(PackFileTest, LargeIndexRoundTripsAcrossChunks)
{
    // More entries than one 1 MiB chunk holds, and not a multiple of it.
    std::vector<PackIndexEntry> vIndex;
    for (std::uint32_t i = 0; i < 70001; ++i)
        vIndex.push_back(test::Entry(i * 3, 32 + i, i ^ 0x5A5A5A5A, ~i));
    const std::string strPath = m_dir.Path("big.pak");
    {
        KPackFile file;
        ASSERT_TRUE(file.Open(strPath.c_str(), "wb"));
        PackHeader header = s_Header(static_cast<std::uint32_t>(vIndex.size()), 32, 32);
        ASSERT_TRUE(WritePackHeader(file, header));
        ASSERT_TRUE(WritePackIndex(file, vIndex));
        ASSERT_TRUE(file.Close());
    }
    EXPECT_EQ(test::ReadFileBytes(strPath).size(), 32 + vIndex.size() * 16);
    KPackFile file;
    PackHeader header;
    std::vector<PackIndexEntry> vBack;
    ASSERT_TRUE(file.Open(strPath.c_str(), "rb"));
    ASSERT_TRUE(ReadPackHeader(file, header));
    ASSERT_TRUE(ReadPackIndex(file, header, vBack));
    EXPECT_EQ(test::EncodeIndex(vBack), test::EncodeIndex(vIndex));
}

TEST_F(PackFileTest, TruncateCutsBufferedBytesToo)
{
    // The appended bytes are still in the stream's buffer when the cut comes: they must not be
    // written past it when the stream is closed.
    const std::string strPath = m_dir.Path("cut.pak");
    const Bytes vOld = test::MakePack(32, test::Text("abc"), {test::Entry(1, 32)});
    test::WriteFileBytes(strPath, vOld);
    {
        KPackFile file;
        ASSERT_TRUE(file.Open(strPath.c_str(), "r+b"));
        ASSERT_TRUE(file.SeekEnd());
        ASSERT_TRUE(file.Write("appended bytes", 14));
        ASSERT_TRUE(file.Truncate(static_cast<std::int64_t>(vOld.size())));
        std::int64_t nSize = 0;
        ASSERT_TRUE(file.Size(nSize));
        EXPECT_EQ(nSize, static_cast<std::int64_t>(vOld.size()));
        ASSERT_TRUE(file.Close());
    }
    EXPECT_EQ(test::ReadFileBytes(strPath), vOld);
    KPackFile closed;
    EXPECT_FALSE(closed.Truncate(0));
}

TEST_F(PackFileTest, ShortReadsFail)
{
    const std::string strPath = m_dir.Path("short.pak");
    test::WriteFileBytes(strPath, test::Bytes(20, 0));
    KPackFile file;
    PackHeader header;
    ASSERT_TRUE(file.Open(strPath.c_str(), "rb"));
    EXPECT_FALSE(ReadPackHeader(file, header));
    std::vector<PackIndexEntry> vIndex;
    EXPECT_FALSE(ReadPackIndex(file, s_Header(1, 8, 8), vIndex));  // needs 24 bytes, has 20
}

}  // namespace
}  // namespace cobblepak
