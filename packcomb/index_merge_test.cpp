#include "index_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "index_merge_reference.h"
#include "pack_test_util.h"

namespace cobblepak {
namespace {

using test::Entry;
typedef std::vector<PackIndexEntry> Index;
typedef void (*MergeFn)(Index&, const Index&, std::uint32_t);

void s_Fast(Index& vDst, const Index& vSrc, std::uint32_t uDelta)
{
    MergePackIndex(vDst, vSrc, uDelta);
}

std::string s_Show(const Index& vIndex)
{
    std::string strOut;
    for (const PackIndexEntry& e : vIndex) {
        strOut += "(" + std::to_string(e.uKey) + " " + std::to_string(e.uDataPos) + " " +
                  std::to_string(e.uWord2) + " " + std::to_string(e.uWord3) + ")";
    }
    return strOut;
}

// The placement rules, checked on both the fast merge and the one-by-one reference so that the
// differential test below compares against a reference that is itself right.
class IndexMergeRules : public ::testing::TestWithParam<MergeFn> {
protected:
    std::string Merge(Index vDst, const Index& vSrc, std::uint32_t uDelta = 0)
    {
        GetParam()(vDst, vSrc, uDelta);
        return s_Show(vDst);
    }
};

TEST_P(IndexMergeRules, NewKeysLandInKeyOrder)
{
    const Index vDst = {Entry(10, 1), Entry(20, 2)};
    EXPECT_EQ(Merge(vDst, {Entry(5, 9)}), "(5 9 0 0)(10 1 0 0)(20 2 0 0)");
    EXPECT_EQ(Merge(vDst, {Entry(0xFFFFFFFF, 9)}), "(10 1 0 0)(20 2 0 0)(4294967295 9 0 0)");
    EXPECT_EQ(Merge(vDst, {Entry(15, 9)}), "(10 1 0 0)(15 9 0 0)(20 2 0 0)");
    // Keys compare as unsigned numbers.
    EXPECT_EQ(Merge(vDst, {Entry(0x80000000u, 9)}), "(10 1 0 0)(20 2 0 0)(2147483648 9 0 0)");
}

TEST_P(IndexMergeRules, PresentKeyIsReplacedInPlace)
{
    EXPECT_EQ(Merge({Entry(10, 1, 11, 12), Entry(20, 2, 21, 22)}, {Entry(10, 7, 77, 78)}),
              "(10 7 77 78)(20 2 21 22)");
}

TEST_P(IndexMergeRules, UnsortedSourceAndLaterDuplicateWins)
{
    EXPECT_EQ(Merge({Entry(4, 40)}, {Entry(9, 1), Entry(2, 2), Entry(9, 3), Entry(4, 4),
                                     Entry(2, 5), Entry(7, 6)}),
              "(2 5 0 0)(4 4 0 0)(7 6 0 0)(9 3 0 0)");
}

TEST_P(IndexMergeRules, EmptyDestinationTakesSourceAscending)
{
    EXPECT_EQ(Merge({}, {Entry(3, 1), Entry(1, 2), Entry(2, 3)}), "(1 2 0 0)(2 3 0 0)(3 1 0 0)");
}

TEST_P(IndexMergeRules, EmptySourceChangesNothing)
{
    EXPECT_EQ(Merge({Entry(1, 2, 3, 4)}, {}, 1000), "(1 2 3 4)");
}

TEST_P(IndexMergeRules, OnlySourcePositionsMoveAndWrapModulo32Bits)
{
    EXPECT_EQ(Merge({Entry(1, 100)}, {Entry(2, 40), Entry(3, 10)}, 0xFFFFFFF0u),
              "(1 100 0 0)(2 24 0 0)(3 4294967290 0 0)");
}

INSTANTIATE_TEST_SUITE_P(Fast, IndexMergeRules, ::testing::Values(&s_Fast));
INSTANTIATE_TEST_SUITE_P(OneByOne, IndexMergeRules, ::testing::Values(&MergePackIndexOneByOne));

// Random sorted destinations and sorted or unsorted sources full of duplicates: the fast merge must give
// exactly the entries, in exactly the order, of the one-by-one placement.
TEST(IndexMergeDifferential, MatchesOneByOnePlacement)
{
    std::mt19937 rng(20240611);
    const std::uint32_t auKeySpan[] = {1, 4, 64, 1000, 0xFFFFFFFF};
    for (int nCase = 0; nCase < 5000; ++nCase) {
        const std::uint32_t uSpan = auKeySpan[nCase % 5];
        std::uniform_int_distribution<std::uint32_t> key(0, uSpan);
        std::uniform_int_distribution<std::uint32_t> word;
        const std::size_t nDst = rng() % (nCase < 4900 ? 40 : 2000);
        const std::size_t nSrc = rng() % (nCase < 4900 ? 40 : 2000);

        Index vSrc;
        for (std::size_t i = 0; i < nSrc; ++i)
            vSrc.push_back(Entry(key(rng), word(rng), word(rng), word(rng)));
        // Some sources come in key order, as a pack's own index does, duplicates included.
        if (nCase % 3 == 0) {
            std::stable_sort(vSrc.begin(), vSrc.end(),
                             [](const PackIndexEntry& a, const PackIndexEntry& b) {
                                 return a.uKey < b.uKey;
                             });
        }
        Index vDst;
        for (std::size_t i = 0; i < nDst; ++i)
            vDst.push_back(Entry(key(rng), word(rng), word(rng), word(rng)));
        // The destination is an index as packs hold it: sorted, each key once.
        std::sort(vDst.begin(), vDst.end(),
                  [](const PackIndexEntry& a, const PackIndexEntry& b) { return a.uKey < b.uKey; });
        vDst.erase(std::unique(vDst.begin(), vDst.end(),
                               [](const PackIndexEntry& a, const PackIndexEntry& b) {
                                   return a.uKey == b.uKey;
                               }),
                   vDst.end());
        const std::uint32_t uDelta = word(rng);

        Index vFast = vDst;
        Index vSlow = vDst;
        MergePackIndex(vFast, vSrc, uDelta);
        MergePackIndexOneByOne(vSlow, vSrc, uDelta);
        ASSERT_EQ(s_Show(vFast), s_Show(vSlow))
            << "case " << nCase << "\ndst " << s_Show(vDst) << "\nsrc " << s_Show(vSrc)
            << "\ndelta " << uDelta;
    }
}

}  // namespace
}  // namespace cobblepak
