#include "pack_check.h"

#include <gtest/gtest.h>

#include "pack_merge.h"
#include "pack_test_util.h"
#include "packcomb.h"

namespace cobblepak {
namespace {

using test::Bytes;
using test::Entry;
using test::MakePack;
using test::Text;

class PackCheckTest : public ::testing::Test {
protected:
    // The reason CheckPackFile gives, or "sound".
    std::string Check(const Bytes& vPack)
    {
        test::WriteFileBytes(m_strPath, vPack);
        std::string strReason;
        if (CheckPackFile(m_strPath.c_str(), strReason))
            return "sound";
        EXPECT_FALSE(strReason.empty());
        return strReason;
    }

    test::KScratchDir m_dir;
    std::string m_strPath = m_dir.Path("pack.pak");
};

TEST_F(PackCheckTest, PositionsFromDataOffsetUpToIndexOffsetAreInside)
{
    // 1..3 in the region, 4 an empty item at its very end; trailing bytes after the index are
    // what a failed merge leaves and do not make a pack unsound.
    EXPECT_EQ(Check(MakePack(32, Text("abc"),
                             {Entry(1, 32), Entry(2, 33), Entry(3, 34), Entry(4, 35)})),
              "sound");
    EXPECT_EQ(Check(test::Concat(MakePack(32, Text("abc"), {Entry(1, 32)}), Text("junk"))),
              "sound");
    EXPECT_EQ(Check(MakePack(32, {}, {})), "sound");
}

TEST_F(PackCheckTest, FindsEachFault)
{
    EXPECT_NE(Check(MakePack(40, Text("abc"), {Entry(1, 39)})), "sound");  // before the data
    EXPECT_NE(Check(MakePack(32, Text("abc"), {Entry(1, 36)})), "sound");  // after the data
    EXPECT_NE(Check(MakePack(32, Text("ab"), {Entry(2, 32), Entry(1, 33)})), "sound");
    EXPECT_NE(Check(MakePack(32, Text("ab"), {Entry(1, 32), Entry(1, 33)})), "sound");
    Bytes vCut = MakePack(32, Text("ab"), {Entry(1, 32), Entry(2, 33)});
    vCut.pop_back();
    EXPECT_NE(Check(vCut), "sound");
    EXPECT_NE(Check(Bytes(31, 0)), "sound");
    std::string strReason;
    EXPECT_FALSE(CheckPackFile(m_dir.Path("missing.pak").c_str(), strReason));
}

TEST_F(PackCheckTest, ReasonNamesTheEntry)
{
    EXPECT_EQ(Check(MakePack(32, Text("abc"), {Entry(1, 32), Entry(7, 99)})),
              "entry 1 (key 7) has data position 99 outside the data region");
}

TEST(PackCheck, CountMustMatchTheIndexRead)
{
    PackHeader header = PackHeader();
    header.uEntryCount = 2;
    header.uIndexOffset = 32;
    header.uDataOffset = 32;
    std::string strReason;
    EXPECT_FALSE(CheckPack(header, {Entry(1, 32)}, 64, strReason));
    EXPECT_TRUE(CheckPack(header, {Entry(1, 32), Entry(2, 32)}, 64, strReason)) << strReason;
}

TEST(PackCheck, MergedPackMustHoldEverySourceEntryInOneCopyOfItsData)
{
    test::KScratchDir dir;
    const std::string strDst = dir.Path("dst.pak"), strSrc = dir.Path("src.pak");
    const Bytes vDst = MakePack(32, Text("abcd"), {Entry(2, 32, 7, 7), Entry(4, 34, 7, 7)});
    // Key 4 replaces the destination's; of the two key 5 entries the later wins.
    const Bytes vSrc = MakePack(40, Text("wxyz"), {Entry(5, 40, 1, 1), Entry(4, 41, 2, 2), Entry(5, 43, 3, 3), Entry(1, 42)});
    test::WriteFileBytes(strSrc, vSrc);
    test::WriteFileBytes(strDst, vDst);
    ASSERT_EQ(S_OK, MergePackFiles(strDst.c_str(), strSrc.c_str()));
    const Bytes vMerged = test::ReadFileBytes(strDst);
    const std::size_t nIndex = vMerged.size() - 4 * kPackIndexEntrySize;  // keys 1, 2, 4, 5
    const std::int64_t nOld = static_cast<std::int64_t>(vDst.size());

    struct KCase {
        Bytes vPack;
        std::int64_t nOldLength;
        bool bSound;
    };
    Bytes vOtherWord = vMerged, vMoved = vMerged, vLost = vMerged;
    test::PutFixed32(vOtherWord, nIndex + 3 * kPackIndexEntrySize + 8, 1);  // key 5 with the first entry's word
    test::PutFixed32(vMoved, nIndex + 2 * kPackIndexEntrySize + 4, static_cast<std::uint32_t>(nOld) + 2);
    test::PutFixed32(vLost, 4, 3);  // the header drops key 5
    const KCase aCases[] = {
        {vMerged, nOld, true},
        {vDst, nOld, false},                // not merged at all
        {vMerged, nOld + 1, false},         // the copy begins before the old end
        {vOtherWord, nOld, false},
        {vMoved, nOld, false},              // one entry points outside the copy
        {vLost, nOld, false},
    };
    for (const KCase& oneCase : aCases) {
        test::WriteFileBytes(strDst, oneCase.vPack);
        std::string strReason;
        EXPECT_EQ(oneCase.bSound, CheckMergedPackFile(strDst.c_str(), strSrc.c_str(), oneCase.nOldLength, strReason))
            << &oneCase - aCases << ": " << strReason;
    }
}

}  // namespace
}  // namespace cobblepak
