#include "index_merge.h"

#include <cstddef>

namespace cobblepak {

namespace {

// Stable sort by key: least significant byte first, one counting pass per byte, skipping a byte
// that every key shares. Linear in the entry count; needs one scratch copy of the entries.
void s_SortByKeyStable(std::vector<PackIndexEntry>& vEntries)
{
    if (vEntries.size() < 2)
        return;
    std::vector<PackIndexEntry> vScratch(vEntries.size());
    for (unsigned nShift = 0; nShift < 32; nShift += 8) {
        std::size_t anStart[256] = {};
        for (const PackIndexEntry& entry : vEntries)
            ++anStart[(entry.uKey >> nShift) & 0xFF];
        if (anStart[(vEntries[0].uKey >> nShift) & 0xFF] == vEntries.size())
            continue;
        std::size_t nSum = 0;
        for (std::size_t& nStart : anStart) {
            std::size_t nCount = nStart;
            nStart = nSum;
            nSum += nCount;
        }
        for (const PackIndexEntry& entry : vEntries)
            vScratch[anStart[(entry.uKey >> nShift) & 0xFF]++] = entry;
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
