#include "pack_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "pack_check.h"
#include "pack_test_util.h"
#include "packcomb.h"

namespace cobblepak {
namespace {

using test::Bytes;
using test::Concat;
using test::Entry;
using test::EncodeIndex;
using test::MakePack;
using test::PutFixed32;
using test::Text;

class PackMergeTest : public ::testing::Test {
protected:
    // Writes both packs, merges and checks that the source was not touched.
    int Merge(const Bytes& vDst, const Bytes& vSrc)
    {
        test::WriteFileBytes(m_strDst, vDst);
        test::WriteFileBytes(m_strSrc, vSrc);
        int nResult = PackComb(m_strDst.c_str(), m_strSrc.c_str());
        EXPECT_EQ(test::ReadFileBytes(m_strSrc), vSrc) << "the source must only be read";
        return nResult;
    }
    Bytes Dst() { return test::ReadFileBytes(m_strDst); }
    void ExpectSound(const std::string& strPath)
    {
        std::string strReason;
        EXPECT_TRUE(CheckPackFile(strPath.c_str(), strReason)) << strReason;
    }
    // The old pack with only its entry count and index offset changed.
    static Bytes Rehead(Bytes vPack, std::uint32_t uCount, std::uint32_t uIndexOffset)
    {
        PutFixed32(vPack, 4, uCount);
        PutFixed32(vPack, 8, uIndexOffset);
        return vPack;
    }

    test::KScratchDir m_dir;
    std::string m_strDst = m_dir.Path("dst.pak");
    std::string m_strSrc = m_dir.Path("src.pak");
};

// 72 bytes: header, "ABCDEFGH" at 32, index at 40.
Bytes s_Dst()
{
    return MakePack(32, Text("ABCDEFGH"), {Entry(10, 32, 1, 1), Entry(20, 36, 2, 2)});
}

TEST_F(PackMergeTest, AppendsDataThenMergedIndexAndRewritesOnlyTwoHeaderFields)
{
    // Unsorted source: a key below all, a key present, a key above all.
    const Bytes vSrc =
        MakePack(32, Text("xyzwpq"), {Entry(30, 36, 3, 3), Entry(5, 32, 4, 4), Entry(20, 34, 5, 5)});
    ASSERT_EQ(Merge(s_Dst(), vSrc), S_OK);
    // base 72: source positions move by 72 - 32; the new index follows the 6 data bytes.
    const Bytes vExpected =
        Concat(Concat(Rehead(s_Dst(), 4, 78), Text("xyzwpq")),
               EncodeIndex({Entry(5, 72, 4, 4), Entry(10, 32, 1, 1), Entry(20, 74, 5, 5),
                            Entry(30, 76, 3, 3)}));
    EXPECT_EQ(Dst(), vExpected);
    ExpectSound(m_strDst);
}

TEST_F(PackMergeTest, LaterDuplicateInSourceWins)
{
    const Bytes vSrc = MakePack(32, Text("abc"), {Entry(10, 32, 7, 7), Entry(10, 34, 8, 8)});
    ASSERT_EQ(Merge(s_Dst(), vSrc), S_OK);
    EXPECT_EQ(Dst(), Concat(Concat(Rehead(s_Dst(), 2, 75), Text("abc")),
                            EncodeIndex({Entry(10, 74, 8, 8), Entry(20, 36, 2, 2)})));
}

TEST_F(PackMergeTest, EmptyDestinationIndexTakesSourceAscending)
{
    const Bytes vDst = MakePack(32, Text("qq"), {});
    const Bytes vSrc = MakePack(32, Text("abc"), {Entry(3, 32), Entry(1, 33), Entry(2, 34)});
    ASSERT_EQ(Merge(vDst, vSrc), S_OK);
    EXPECT_EQ(Dst(), Concat(Concat(Rehead(vDst, 3, 37), Text("abc")),
                            EncodeIndex({Entry(1, 35), Entry(2, 36), Entry(3, 34)})));
    ExpectSound(m_strDst);
}

TEST_F(PackMergeTest, EmptySourceDataRegionStillMergesEntries)
{
    const Bytes vSrc = MakePack(32, {}, {Entry(3, 32, 9, 9)});
    ASSERT_EQ(Merge(s_Dst(), vSrc), S_OK);
    EXPECT_EQ(Dst(), Concat(Rehead(s_Dst(), 3, 72),
                            EncodeIndex({Entry(3, 72, 9, 9), Entry(10, 32, 1, 1),
                                         Entry(20, 36, 2, 2)})));
    ExpectSound(m_strDst);
}

TEST_F(PackMergeTest, PositionsMoveBySourceDataOffsetNotBy32)
{
    // Data region at 48; bytes 32..47 are not data and are not copied.
    const Bytes vSrc = MakePack(48, Text("mnop"), {Entry(1, 48), Entry(2, 50)});
    ASSERT_EQ(Merge(s_Dst(), vSrc), S_OK);
    EXPECT_EQ(Dst(), Concat(Concat(Rehead(s_Dst(), 4, 76), Text("mnop")),
                            EncodeIndex({Entry(1, 72), Entry(2, 74), Entry(10, 32, 1, 1),
                                         Entry(20, 36, 2, 2)})));
    ExpectSound(m_strDst);
}

TEST_F(PackMergeTest, MergingTwiceAppendsTwiceAndPointsIntoSecondCopy)
{
    const Bytes vDst = MakePack(32, Text("D"), {Entry(8, 32)});
    const Bytes vSrc = MakePack(32, Text("xy"), {Entry(7, 32), Entry(8, 33)});
    ASSERT_EQ(Merge(vDst, vSrc), S_OK);
    ASSERT_EQ(PackComb(m_strDst.c_str(), m_strSrc.c_str()), S_OK);
    const Bytes vFirst = Concat(Text("xy"), EncodeIndex({Entry(7, 49), Entry(8, 50)}));
    const Bytes vSecond = Concat(Text("xy"), EncodeIndex({Entry(7, 83), Entry(8, 84)}));
    EXPECT_EQ(Dst(), Concat(Concat(Rehead(vDst, 2, 85), vFirst), vSecond));
    ExpectSound(m_strDst);
}

TEST_F(PackMergeTest, SourceWithoutEntriesChangesNothing)
{
    ASSERT_EQ(Merge(s_Dst(), MakePack(32, Text("zzz"), {})), S_OK);
    EXPECT_EQ(Dst(), s_Dst());
}

TEST_F(PackMergeTest, PackMergedIntoItselfPointsIntoTheCopy)
{
    const Bytes vPack = MakePack(32, Text("abcd"), {Entry(1, 32), Entry(2, 34)});
    test::WriteFileBytes(m_strDst, vPack);
    ASSERT_EQ(PackComb(m_strDst.c_str(), m_strDst.c_str()), S_OK);
    EXPECT_EQ(Dst(), Concat(Concat(Rehead(vPack, 2, 72), Text("abcd")),
                            EncodeIndex({Entry(1, 68), Entry(2, 70)})));
}

struct Damage {
    const char* pszName;
    std::function<void(Bytes&)> fnApply;
};

// Each damage makes a pack's header disagree with its file; applied to a copy of s_Dst().
const Damage s_aDamages[] = {
    {"empty file", [](Bytes& v) { v.clear(); }},
    {"header cut", [](Bytes& v) { v.resize(31); }},
    {"file cut inside the index", [](Bytes& v) { v.pop_back(); }},
    {"one entry too many", [](Bytes& v) { PutFixed32(v, 4, 3); }},
    {"count whose byte size wraps", [](Bytes& v) { PutFixed32(v, 4, 0x10000000); }},
    {"count of all ones", [](Bytes& v) { PutFixed32(v, 4, 0xFFFFFFFF); }},
    {"index offset past the end", [](Bytes& v) { PutFixed32(v, 8, 73); }},
    {"index offset near 4 GiB", [](Bytes& v) { PutFixed32(v, 8, 0xFFFFFFF0); }},
    {"data offset after index offset", [](Bytes& v) { PutFixed32(v, 12, 41); }},
    {"data offset inside the header", [](Bytes& v) { PutFixed32(v, 12, 0); }},
    {"zeroed header", [](Bytes& v) { std::fill(v.begin(), v.begin() + 32, 0); }},
};

TEST_F(PackMergeTest, DamagedPacksAreRefusedAndNothingChanges)
{
    const Bytes vGood = MakePack(32, Text("src!"), {Entry(15, 32)});
    for (const Damage& damage : s_aDamages) {
        Bytes vBad = s_Dst();
        damage.fnApply(vBad);
        EXPECT_EQ(Merge(vBad, vGood), E_INVALIDARG) << "destination: " << damage.pszName;
        EXPECT_EQ(Dst(), vBad) << "destination: " << damage.pszName;
        EXPECT_EQ(Merge(s_Dst(), vBad), E_INVALIDARG) << "source: " << damage.pszName;
        EXPECT_EQ(Dst(), s_Dst()) << "source: " << damage.pszName;
    }
}

TEST_F(PackMergeTest, EntriesOutsideTheDataRegionAreRefused)
{
    // Source data region [40, 44]: 44 is an empty item at its very end and is accepted.
    const Bytes vSrc = MakePack(40, Text("wxyz"), {Entry(3, 44), Entry(1, 40)});
    ASSERT_EQ(Merge(s_Dst(), vSrc), S_OK);
    ExpectSound(m_strDst);

    const std::uint32_t auOutside[] = {39, 32, 0, 45, 0xFFFFFFFF};
    for (std::uint32_t uPos : auOutside) {
        const Bytes vBadSrc = MakePack(40, Text("wxyz"), {Entry(3, 41), Entry(1, uPos)});
        EXPECT_EQ(Merge(s_Dst(), vBadSrc), E_INVALIDARG) << "source position " << uPos;
        EXPECT_EQ(Dst(), s_Dst()) << "source position " << uPos;
        // A destination that a reader cannot rely on is not merged into either.
        const Bytes vBadDst = MakePack(40, Text("wxyz"), {Entry(1, uPos), Entry(3, 41)});
        EXPECT_EQ(Merge(vBadDst, vSrc), E_INVALIDARG) << "destination position " << uPos;
        EXPECT_EQ(Dst(), vBadDst) << "destination position " << uPos;
    }
}

TEST_F(PackMergeTest, DestinationIndexOutOfOrderIsRefused)
{
    const Bytes vSrc = MakePack(32, Text("s"), {Entry(15, 32)});
    const Bytes vUnsorted = MakePack(32, Text("ab"), {Entry(20, 32), Entry(10, 33)});
    EXPECT_EQ(Merge(vUnsorted, vSrc), E_INVALIDARG);
    EXPECT_EQ(Dst(), vUnsorted);
    const Bytes vTwice = MakePack(32, Text("ab"), {Entry(10, 32), Entry(10, 33)});
    EXPECT_EQ(Merge(vTwice, vSrc), E_INVALIDARG);
    EXPECT_EQ(Dst(), vTwice);
}

TEST_F(PackMergeTest, FilesThatCannotBeOpenedOrReadAreRefused)
{
    const Bytes vSrc = MakePack(32, Text("s"), {Entry(15, 32)});
    test::WriteFileBytes(m_strSrc, vSrc);
    const std::string strMissing = m_dir.Path("missing.pak");
    EXPECT_EQ(PackComb(strMissing.c_str(), m_strSrc.c_str()), E_INVALIDARG);
    EXPECT_FALSE(test::FileExists(strMissing));
    EXPECT_EQ(PackComb(nullptr, m_strSrc.c_str()), E_INVALIDARG);

    test::WriteFileBytes(m_strDst, s_Dst());
    EXPECT_EQ(PackComb(m_strDst.c_str(), strMissing.c_str()), E_INVALIDARG);
    EXPECT_EQ(PackComb(m_strDst.c_str(), nullptr), E_INVALIDARG);
    // A folder opens as a stream on some systems and fails on the first read.
    const std::string strFolder = m_dir.Path("folder");
    std::filesystem::create_directory(strFolder);
    EXPECT_EQ(PackComb(m_strDst.c_str(), strFolder.c_str()), E_INVALIDARG);
    EXPECT_EQ(PackComb(strFolder.c_str(), m_strSrc.c_str()), E_INVALIDARG);
    EXPECT_EQ(Dst(), s_Dst());
    EXPECT_EQ(test::ReadFileBytes(m_strSrc), vSrc);
}

TEST_F(PackMergeTest, ResultMayReachButNotPass2GiBMinus1)
{
    // A sparse destination whose merge with a 10-byte region and one new entry ends exactly at
    // 2 GiB - 1, and one a byte longer.
    const Bytes vSrc = MakePack(32, Text("0123456789"), {Entry(1, 32)});
    test::WriteFileBytes(m_strSrc, vSrc);
    const std::uintmax_t nFits = 0x7FFFFFFFu - 10 - 16;

    test::WriteFileBytes(m_strDst, MakePack(32, {}, {}));
    std::filesystem::resize_file(m_strDst, nFits + 1);
    EXPECT_EQ(PackComb(m_strDst.c_str(), m_strSrc.c_str()), E_INVALIDARG);
    EXPECT_EQ(std::filesystem::file_size(m_strDst), nFits + 1);

    std::filesystem::resize_file(m_strDst, nFits);
    ASSERT_EQ(PackComb(m_strDst.c_str(), m_strSrc.c_str()), S_OK);
    EXPECT_EQ(std::filesystem::file_size(m_strDst), 0x7FFFFFFFu);
    ExpectSound(m_strDst);
    std::ifstream in(m_strDst, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(nFits));
    Bytes vTail(26);
    in.read(reinterpret_cast<char*>(vTail.data()), 26);
    EXPECT_EQ(vTail, Concat(Text("0123456789"),
                            EncodeIndex({Entry(1, static_cast<std::uint32_t>(nFits))})));
    in.close();
    std::filesystem::remove(m_strDst);  // give the space back at once
}

}  // namespace
}  // namespace cobblepak
