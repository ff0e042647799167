#include "index_merge_reference.h"

#include <cstddef>
#include <cstring>

namespace cobblepak {

void MergePackIndexOneByOne(std::vector<PackIndexEntry>& vDst,
                            const std::vector<PackIndexEntry>& vSrc, std::uint32_t uPosDelta)
{
    // One buffer of the largest possible size, as the placement never reallocates.
    std::size_t nCount = vDst.size();
    vDst.resize(nCount + vSrc.size());
    for (PackIndexEntry entry : vSrc) {
        entry.uDataPos += uPosDelta;
        std::size_t nAt = 0;
        while (nAt < nCount && vDst[nAt].uKey < entry.uKey)
            ++nAt;
        if (nAt < nCount && vDst[nAt].uKey == entry.uKey) {
            vDst[nAt].uDataPos = entry.uDataPos;
            vDst[nAt].uWord2 = entry.uWord2;
            vDst[nAt].uWord3 = entry.uWord3;
            continue;
        }
        PackIndexEntry* pAt = vDst.data() + nAt;
        std::memmove(pAt + 1, pAt, (nCount - nAt) * sizeof(PackIndexEntry));
        vDst[nAt] = entry;
        ++nCount;
    }
    vDst.resize(nCount);
}

}  // namespace cobblepak
