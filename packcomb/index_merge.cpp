#include "index_merge.h"

#include <cstddef>

namespace cobblepak {

namespace {

// Keys are sorted in digits of this many bits: three passes cover 32 bits, and the counts of a
// digit (2048) stay small enough for the cache.
const unsigned s_nDigitBits = 11;
const std::size_t s_nDigitValues = std::size_t(1) << s_nDigitBits;
const unsigned s_nDigits = (32 + s_nDigitBits - 1) / s_nDigitBits;

bool s_IsSortedByKey(const std::vector<PackIndexEntry>& vEntries)
{
    for (std::size_t i = 1; i < vEntries.size(); ++i) {
        if (vEntries[i - 1].uKey > vEntries[i].uKey)
            return false;
    }
    return true;
}

// Stable sort by key: least significant digit first, one scatter pass per digit, skipping a
// digit that every key shares. The counts of all digits come from one pass over the entries.
// Linear in the entry count; needs one scratch copy of the entries. An index already in order,
// as a pack's own index normally is, is left as it is.
void s_SortByKeyStable(std::vector<PackIndexEntry>& vEntries)
{
    if (s_IsSortedByKey(vEntries))
        return;
    std::vector<std::size_t> vStart(s_nDigits * s_nDigitValues);
    for (const PackIndexEntry& entry : vEntries) {
        for (unsigned nDigit = 0; nDigit < s_nDigits; ++nDigit)
            ++vStart[nDigit * s_nDigitValues +
                     ((entry.uKey >> (nDigit * s_nDigitBits)) & (s_nDigitValues - 1))];
    }
    std::vector<PackIndexEntry> vScratch(vEntries.size());
    for (unsigned nDigit = 0; nDigit < s_nDigits; ++nDigit) {
        const unsigned nShift = nDigit * s_nDigitBits;
        std::size_t* pStart = &vStart[nDigit * s_nDigitValues];
        if (pStart[(vEntries[0].uKey >> nShift) & (s_nDigitValues - 1)] == vEntries.size())
            continue;
        std::size_t nSum = 0;
        for (std::size_t nValue = 0; nValue < s_nDigitValues; ++nValue) {
            std::size_t nCount = pStart[nValue];
            pStart[nValue] = nSum;
            nSum += nCount;
        }
        for (const PackIndexEntry& entry : vEntries)
            vScratch[pStart[(entry.uKey >> nShift) & (s_nDigitValues - 1)]++] = entry;
        vEntries.swap(vScratch);
    }
}

}  // namespace

void MergePackIndex(std::vector<PackIndexEntry>& vDst, std::vector<PackIndexEntry> vSrc,
                    std::uint32_t uPosDelta)
{
    // Sort the source by key, keeping source order among equal keys, then keep only the last
    // entry of each key: that is the one a one-by-one placement leaves behind.
    s_SortByKeyStable(vSrc);
    std::size_t nUnique = 0;
    for (std::size_t i = 0; i < vSrc.size(); ++i) {
        if (i + 1 < vSrc.size() && vSrc[i + 1].uKey == vSrc[i].uKey)
            continue;
        vSrc[nUnique] = vSrc[i];
        vSrc[nUnique].uDataPos += uPosDelta;
        ++nUnique;
    }
    vSrc.resize(nUnique);

    // Count the keys that are new to the destination, grow it once, and merge from the back so
    // that no destination entry is overwritten before it has been moved.
    std::size_t nNew = 0;
    for (std::size_t i = 0, j = 0; j < vSrc.size();) {
        if (i < vDst.size() && vDst[i].uKey < vSrc[j].uKey) {
            ++i;
        } else {
            if (i >= vDst.size() || vDst[i].uKey != vSrc[j].uKey)
                ++nNew;
            else
                ++i;
            ++j;
        }
    }
    std::size_t nOld = vDst.size();
    vDst.resize(nOld + nNew);
    std::size_t nWrite = vDst.size();
    std::size_t nDst = nOld;
    std::size_t nSrc = vSrc.size();
    while (nSrc > 0) {
        const PackIndexEntry& src = vSrc[nSrc - 1];
        if (nDst > 0 && vDst[nDst - 1].uKey > src.uKey) {
            vDst[--nWrite] = vDst[--nDst];
        } else {
            if (nDst > 0 && vDst[nDst - 1].uKey == src.uKey)
                --nDst;
            vDst[--nWrite] = src;
            --nSrc;
        }
    }
}

}  // namespace cobblepak
